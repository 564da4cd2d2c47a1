// SPDX-License-Identifier: MIT
#include "cppaccessor.h"

#include <QCoreApplication>
#include <QQmlEngine>

CppAccessor::CppAccessor(QObject* parent) : QObject(parent) {}
