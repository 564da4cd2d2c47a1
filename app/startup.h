// SPDX-License-Identifier: MIT
#pragma once

#include <QUrl>

// Start-up of the client, split around the creation of the application object so that the
// executable's main stays thin and tests can run the sequence with their own QML file.

// Attributes and metadata that must be set before the QGuiApplication exists.
void prepareClientApplication();

// Everything after the application object: locale, log file, engine, `debug`, loading of the
// main QML file and the event loop. Returns -1 when the file yields no root object.
int runClient(const QUrl& mainQml);

// The file "clientLogs.txt" in the application-local data folder.
QString clientLogFilePath();
