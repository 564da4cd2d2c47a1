// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

#include "startup.h"

namespace testsupport {
// Runs a QtTest object as the client would run: its own settings, log and cache folders inside a
// private folder, the client's application set-up, and the numeric locale libmpv needs.
template <typename Test>
int runClientTest(int argc, char* argv[])
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    prepareClientApplication();
    QGuiApplication app(argc, argv);
    // libmpv refuses to start under a locale with another decimal separator.
    std::setlocale(LC_NUMERIC, "C");
    Test test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace testsupport
