// SPDX-License-Identifier: MIT
#include "i18n.h"

#include <QCoreApplication>
#include <QLocale>
#include <QQmlEngine>
#include <QTranslator>
#include <QtDebug>

I18n::I18n(QObject* parent) : QObject(parent), m_locale(QLocale::system().name()), m_translator(new QTranslator(this))
{
}

I18n::~I18n()
{
    QCoreApplication::removeTranslator(m_translator);
}

void I18n::setLocale(const QString& locale)
{
    if (locale == m_locale)
        return;
    if (!applyLocale(locale))
        return;
    m_locale = locale;
    qInfo().nospace() << "Changed locale to: " << locale;
    emit localeChanged();
}

bool I18n::applyLocale(const QString& locale)
{
    // Loading empties a translator before it looks for the file, so a failed lookup must not
    // touch the installed one: the texts would fall back to the source language.
    auto* candidate = new QTranslator(this);
    if (!candidate->load(QLocale(locale), QStringLiteral("client"), QStringLiteral("_"),
                         QStringLiteral(":/translations/"))) {
        delete candidate;
        qWarning().nospace() << "Failed to apply locale: " << locale;
        return false;
    }
    QCoreApplication::removeTranslator(m_translator);
    delete m_translator;
    m_translator = candidate;
    QCoreApplication::installTranslator(m_translator);
    return true;
}
