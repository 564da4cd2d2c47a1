// SPDX-License-Identifier: MIT
#include "camera.h"

#include <QCoreApplication>
#include <QQmlEngine>

Camera::Camera(QObject* parent) : QObject(parent) {}

void Camera::setId(int id)
{
    if (m_id == id)
        return;
    m_id = id;
    emit idChanged();
}

void Camera::setName(const QString& name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
}

void Camera::setUrl(const QString& url)
{
    if (m_url == url)
        return;
    m_url = url;
    emit urlChanged();
}
