// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QVariantMap>

#include "chunkspans.h"

// The recorded chunks of a ChunkSpans as rows of a list: a view of a day of ten-second chunks
// holds thousands of rows, which a list of script objects cannot carry smoothly.
class ChunkListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(ChunkSpans* spans READ spans WRITE setSpans NOTIFY spansChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // The stream the chunks belong to, given with each row by get().
    Q_PROPERTY(QString streamId READ streamId WRITE setStreamId NOTIFY streamIdChanged)

public:
    enum Roles {
        StartRole = Qt::UserRole + 1,
        EndRole,
        SizeRole,
    };

    explicit ChunkListModel(QObject* parent = nullptr);
    ~ChunkListModel() override;

    ChunkSpans* spans() const { return m_spans; }
    void setSpans(ChunkSpans* spans);
    int count() const;
    QString streamId() const { return m_streamId; }
    void setStreamId(const QString& value);

    // {streamId, start, end, size}, or an empty map out of range.
    Q_INVOKABLE QVariantMap get(int row) const;
    Q_INVOKABLE void clear();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void spansChanged();
    void countChanged();
    void streamIdChanged();

private:
    void reset();

    QPointer<ChunkSpans> m_spans;
    QString m_streamId;
    int m_rows = 0;
};
