// SPDX-License-Identifier: MIT
// Layout JSON parsing, door pairing and the url role over arbitrary text.
#include <cstdint>
#include <memory>

#include <QCoreApplication>

#include <cstddef>

#include "layoutmodel.h"
#include "vantorobject.h"
#include "vantorobjectsrepository.h"
#include "vantorsetting.h"

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

namespace {
struct Fixture
{
    Fixture()
    {
        qInstallMessageHandler(quiet);
        auto add = [this](const char* id, VantorObject::Type type, const char* path, const char* cls, const char* key,
                          const char* value) {
            auto object = std::make_shared<VantorObject>();
            object->setId(id);
            object->setType(type);
            object->setPath(path);
            object->setCls(cls);
            object->settings()->insert(key, value);
            repository.add(object, ",");
        };
        add("1", VantorObject::Location, "Site", "", "x", "y");
        add("10", VantorObject::Stream, "Site,Cam", "", "url", "a{EQU}b[[{SMC}{X}]]");
        add("20", VantorObject::Sensor, "Site,Door", "", "layout", "D1");
        add("30", VantorObject::Actuator, "Site,Lock", "actuator.DOOR", "layout", "D1");
        model.setRepository(&repository);
    }
    VantorObjectsRepository repository;
    LayoutModel model;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Fixture fixture;
    fixture.model.fromJson(QString::fromUtf8(reinterpret_cast<const char*>(data), int(size)));
    for (int row = 0; row < fixture.model.rowCount(); ++row) {
        const QModelIndex index = fixture.model.index(row, 0);
        for (int role = LayoutModel::RowRole; role <= LayoutModel::ActuatorIdRole; ++role)
            fixture.model.data(index, role);
    }
    return 0;
}
