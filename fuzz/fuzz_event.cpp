// SPDX-License-Identifier: MIT
// Events as they arrive from the server, fed through the station's decoder into its alarm center
// and list model. The bytes are read as a sequence of events: a kind byte (new, update, or an
// operator action), then class, ids, time, priority and fields of mixed value kinds.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>

#include "alarmcenter.h"
#include "eventlistmodel.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"

namespace vantor = pelmar::vantor;

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_position >= m_size; }
    std::uint8_t byte() { return atEnd() ? 0 : m_data[m_position++]; }
    std::int64_t number(int bytes)
    {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | byte();
        return std::int64_t(value);
    }
    std::string text()
    {
        // A length byte; 255 stands for a long text (up to 70 000 bytes) to reach the caps.
        const std::uint8_t code = byte();
        std::size_t length = code == 255 ? std::size_t(number(2)) + 5000 : code;
        std::string result;
        while (length-- > 0 && !atEnd())
            result.push_back(char(byte()));
        if (code == 255)
            result.resize(result.size() * 8, 'x');
        return result;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

const char* const classes[] = {"door.opened",     "door.closed",        "door.accessGranted", "door.accessDenied",
                               "door.forcedOpen", "door.heldOpen",      "camera.motion",      "camera.tamper",
                               "station.ack",     "station.doorCommand"};

vantor::ValuePtr valueFrom(Reader& in)
{
    switch (in.byte() % 11) {
    case 0:
        return {};
    case 1:
        return vantor::ValuePtr(std::make_unique<vantor::BoolValue>(in.byte() & 1));
    case 2:
        return vantor::ValuePtr(std::make_unique<vantor::IntValue>(in.number(8)));
    case 3:
        return vantor::ValuePtr(std::make_unique<vantor::FloatValue>(double(in.number(8)) / 7.0));
    case 4:
        return vantor::ValuePtr(std::make_unique<vantor::IdValue>(in.number(2)));
    case 5: {
        const std::string text = in.text();
        return vantor::ValuePtr(
            std::make_unique<vantor::DataValue>(std::vector<std::uint8_t>(text.begin(), text.end())));
    }
    case 6:
        return vantor::ValuePtr(std::make_unique<vantor::DateTimeValue>(in.text()));
    case 7:
        return vantor::ValuePtr(std::make_unique<vantor::TimestampValue>(in.number(8)));
    default:
        return vantor::ValuePtr(std::make_unique<vantor::StringValue>(in.text()));
    }
}

AlarmCenter& center()
{
    static int argc = 1;
    static char name[] = "fuzz_event";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static VantorObjectsRepository repository;
    static std::unique_ptr<AlarmCenter> alarms = [] {
        const auto add = [](const char* id, const char* objectName, VantorObject::Type type, const char* path) {
            auto object = std::make_shared<VantorObject>();
            object->setId(QString::fromLatin1(id));
            object->setName(QString::fromLatin1(objectName));
            object->setType(type);
            object->setPath(QString::fromLatin1(path));
            repository.add(object, QStringLiteral(","));
            return object;
        };
        add("1", "Site", VantorObject::Location, "Site");
        add("3", "Cam", VantorObject::Stream, "Site,Cam");
        add("6", "Door", VantorObject::Sensor, "Site,Door")->settings()->insert("cameras", "3,x");
        add("7", "Gate", VantorObject::Sensor, "Site,Gate")->settings()->insert("cameras", ",,nonsense");
        EventsSettings settings;
        settings.databasePath.clear();
        settings.sound = false;
        settings.keepCount = 500;
        return std::make_unique<AlarmCenter>(nullptr, &repository, settings);
    }();
    return *alarms;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;
    AlarmCenter& alarms = center();
    EventListModel* model = alarms.model();
    Reader in(data, size);
    for (int events = 0; events < 64 && !in.atEnd(); ++events) {
        const std::uint8_t kind = in.byte();
        if (kind % 8 == 7) {
            // What an operator does meanwhile.
            const qint64 localId = model->storedCount() > 0
                                       ? model->storedFromNewest(in.byte() % model->storedCount()).localId
                                       : in.number(2);
            switch (in.byte() % 6) {
            case 0:
                alarms.acknowledge(localId);
                break;
            case 1:
                alarms.acknowledgeShown();
                break;
            case 2:
                (void)alarms.videoFor(localId);
                break;
            case 3:
                model->setTextFilter(QString::fromStdString(in.text()));
                break;
            case 4:
                model->setAlarmsOnly(in.byte() & 1);
                model->setStateFilter(QStringList{"", "new", "acknowledged", "ended"}[in.byte() % 4]);
                break;
            default:
                (void)alarms.newestOpenAlarm(QString::number(in.number(1)));
                (void)alarms.recentEvents(QString(), 5);
                break;
            }
            continue;
        }
        vantor::Event event;
        const std::uint8_t classChoice = in.byte();
        event.className = classChoice < 200 ? classes[classChoice % 10] : in.text();
        event.eventId = in.number(1);
        event.sourceId = in.number(1);
        event.destinationId = in.number(1);
        switch (in.byte() % 4) {
        case 0:
            event.timestamp = 0;
            break;
        case 1:
            event.timestamp = in.number(8);
            break;
        default:
            event.timestamp = 1700000000000LL + in.number(3);
            break;
        }
        event.priority = std::int32_t(in.number(4));
        // Enough fields, with long values, to reach the cap on all of them together.
        const int fields = in.byte() % 24;
        for (int i = 0; i < fields; ++i) {
            // Mostly the names the known classes use, so that their checks and the acknowledgement run.
            static const char* const names[] = {"door",    "eventId",         "user",   "time",
                                                "endedAt", "heldOpenSeconds", "camera", "card"};
            const std::uint8_t nameChoice = in.byte();
            const std::string name = nameChoice < 200 ? names[nameChoice % 8] : in.text();
            event.fields.setValue(name, valueFrom(in));
        }
        alarms.handleServerEvent(event, kind % 8 >= 5);
    }
    model->publishPending();

    if (model->count() > model->totalCount() || model->totalCount() > 500 || alarms.unacknowledgedCount() < 0 ||
        alarms.unacknowledgedCount() > model->totalCount())
        std::abort();
    for (int row = 0; row < model->count() && row < 8; ++row) {
        if (model->get(row).size() != model->roleNames().size())
            std::abort();
    }
    return 0;
}
