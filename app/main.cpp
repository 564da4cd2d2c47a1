// SPDX-License-Identifier: MIT
#include <QGuiApplication>
#include <QUrl>

#include "startup.h"

int main(int argc, char* argv[])
{
    prepareClientApplication();
    QGuiApplication app(argc, argv);
    return runClient(QUrl(QStringLiteral("qrc:/qml/main.qml")));
}
