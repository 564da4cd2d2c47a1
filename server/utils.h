#pragma once

#include <QVariant>

#include <vantor/vantor.h>

// Conversions from Qt values to the server library's values.
class Utils
{
public:
    Utils() = delete;

    // A new value, or an empty handle when the QVariant's type has no library counterpart.
    static pelmar::vantor::ValuePtr vantorValueFromQVariant(const QVariant& value);
};
