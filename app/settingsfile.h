// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The login page keeps its fields, the password among them, in the application's default
// settings file (QSettings with no arguments; ~/.config/pelmar.example/PELMAR.conf on Linux).
// QSettings replaces that file on every write and gives the new one the mode of the old, or the
// umask's default when there is none; so the file is made owner-only before anything writes it.

// The file that QSettings() and the QML Settings element use for this application.
QString loginSettingsFilePath();

// Creates the file empty and owner-only (0600, its folder 0700) when it is missing; takes the
// group and other bits off a file that has them, with a warning in the log. Returns false, with
// the reason in the log, when the file can be neither created nor narrowed.
bool protectSettingsFile(const QString& path);
