// SPDX-License-Identifier: MIT
#include "cppaccessor.h"

#include <QCoreApplication>
#include <QQmlEngine>

namespace {

QObject* createCppAccessor(QQmlEngine*, QJSEngine*)
{
    return new CppAccessor();
}

void registerCppAccessorType()
{
    qmlRegisterSingletonType<CppAccessor>("Native", 1, 0, "CppAccessor", createCppAccessor);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(registerCppAccessorType)

CppAccessor::CppAccessor(QObject* parent) : QObject(parent) {}
