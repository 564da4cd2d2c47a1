// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QTranslator;

// The interface language, switchable while the program runs. QML appends localeNotify (always
// empty) to every translated text so that the binding re-evaluates on localeChanged.
class I18n : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString locale READ locale WRITE setLocale NOTIFY localeChanged)
    Q_PROPERTY(QString localeNotify READ localeNotify NOTIFY localeChanged)

public:
    explicit I18n(QObject* parent = nullptr);
    ~I18n() override;

    QString locale() const { return m_locale; }
    // Unchanged, with a warning, when no translation matches the name.
    void setLocale(const QString& locale);
    QString localeNotify() const { return QString(); }

signals:
    void localeChanged();

private:
    bool applyLocale(const QString& locale);

    QString m_locale;
    QTranslator* m_translator = nullptr;
};
