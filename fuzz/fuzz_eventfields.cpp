// SPDX-License-Identifier: MIT
// An incoming event's "fields" text, as the client turns it into what signEventReceived carries.
// The first byte picks the kind of value the field holds; the rest is its text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <QtGlobal>

#include <cstddef>

#include "vantorclient.h"

namespace vantor = pelmar::vantor;

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    (void)installed;
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    vantor::Event event;
    event.className = text.substr(0, text.size() % 7);
    event.sourceId = static_cast<vantor::ObjectId>(size) * 977;
    event.eventId = -static_cast<vantor::ObjectId>(size);
    switch (data[0] % 4) {
    case 0:
        event.fields.setValue("fields", vantor::DataValue(std::vector<std::uint8_t>(text.begin(), text.end())));
        break;
    case 1:
        event.fields.setValue("fields", vantor::DateTimeValue(text));
        break;
    default:
        event.fields.setValue("fields", vantor::StringValue(text));
        break;
    }
    event.fields.setValue("other", vantor::StringValue(text));
    const QVariantMap map = VantorClient::eventToVariantMap(event);
    if (map.value(QStringLiteral("srcId")).toString() != QString::number(event.sourceId) ||
        map.value(QStringLiteral("eventId")).toLongLong() != event.eventId)
        std::abort();
    if (map.contains(QStringLiteral("fields")) &&
        map.value(QStringLiteral("fields")).userType() != QMetaType::QVariantMap)
        std::abort();
    return 0;
}
