// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The event classes the station knows, with their translated titles.
namespace EventClasses {

// The translated title of a known class; for another class its name and its fields.
QString title(const QString& className, const QString& fieldsText);
bool isKnown(const QString& className);

// The fields a known class carries and their kinds, for the decoder's checks: a text of
// "name:kind" pairs separated by spaces, kind "text" or "int"; empty for an unknown class.
QString expectedFields(const QString& className);

} // namespace EventClasses
