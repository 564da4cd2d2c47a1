// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

// A singleton for QML with no behaviour of its own yet; it gives native helpers a place to live.
class CppAccessor : public QObject
{
    Q_OBJECT

public:
    explicit CppAccessor(QObject* parent = nullptr);
};
