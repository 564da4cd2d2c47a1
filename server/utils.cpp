#include "utils.h"

#include <memory>

#include <QDebug>

namespace vantor = pelmar::vantor;

namespace {

template <typename T, typename Arg>
vantor::ValuePtr makeValue(Arg&& arg)
{
    return vantor::ValuePtr(std::shared_ptr<const vantor::Value>(std::make_shared<T>(std::forward<Arg>(arg))));
}

} // namespace

vantor::ValuePtr Utils::vantorValueFromQVariant(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Bool:
        return makeValue<vantor::BoolValue>(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::ULong:
    case QMetaType::UShort:
        // 64-bit integers narrow here too: only their low 32 bits are sent.
        return makeValue<vantor::IntValue>(static_cast<std::int64_t>(value.toInt()));
    case QMetaType::Double:
    case QMetaType::Float:
        return makeValue<vantor::FloatValue>(value.toDouble());
    case QMetaType::QString:
        return makeValue<vantor::StringValue>(value.toString().toStdString());
    default:
        qWarning() << "static pelmar::vantor::ValuePtr Utils::vantorValueFromQVariant(const QVariant&)";
        qWarning() << "  Unhandled type: " << value.userType();
        return vantor::ValuePtr();
    }
}
