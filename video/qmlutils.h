// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Helpers for the POS overlay of recorded video.
class QmlUtils : public QObject
{
    Q_OBJECT

public:
    explicit QmlUtils(QObject* parent = nullptr);
    ~QmlUtils() override;

public slots:
    // Turns a POS document {"from", "to", "arr": [{"time", "text"}]} into an ASS subtitle file of
    // that plain file name in the temporary folder. Returns its path, or an empty string.
    QString saveTmpSubtitle(QString name, QString content);
    // `ms` since the epoch, UTC, as "h:mm:ss.z"; `format` is not applied.
    QString formatDateTime(QString ms, QString format);

public:
    // The ASS text of a POS document, or an empty array (with a warning in the log) when the
    // document is malformed or holds no line to show.
    static QByteArray assFromPosDocument(const QString& content);
};
