// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QVector>

// The cameras of an export of several cameras, one row each, as MultiCameraExporter goes through
// them: the camera's name, its progress (0..1), its state, the file it got and why it failed.
class ExportCameraModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

public:
    enum Roles {
        CameraRole = Qt::UserRole + 1,
        StreamIdRole,
        ProgressRole,
        StateRole,
        FileRole,
        ErrorRole,
    };
    Q_ENUM(Roles)

    enum State {
        Waiting,
        Exporting,
        Done,
        Failed,
        // Nothing recorded in the span: no file, and no failure either.
        NoRecording,
        // The export was cancelled before, during or after this camera; its file is gone.
        Cancelled,
    };
    Q_ENUM(State)

    struct Row
    {
        QString camera;
        QString streamId;
        qreal progress = 0.0;
        State state = Waiting;
        QString file; // the file's name in the export's folder, once written
        QString error;
    };

    explicit ExportCameraModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const Row& row(int index) const { return m_rows.at(index); }
    // The row as a map of the role names, for QML; empty for a row out of range.
    Q_INVOKABLE QVariantMap get(int index) const;

    void reset(const QVector<Row>& rows);
    void setProgress(int index, qreal progress);
    // Also sets the progress to 1 where the camera is through (done, failed, no recording).
    void setState(int index, State state, const QString& error = QString());
    void setFile(int index, const QString& file);

signals:
    void countChanged();

private:
    void changed(int index, const QVector<int>& roles);

    QVector<Row> m_rows;
};
