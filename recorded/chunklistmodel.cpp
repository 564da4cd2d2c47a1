// SPDX-License-Identifier: MIT
#include "chunklistmodel.h"

#include <QtQml>

ChunkListModel::ChunkListModel(QObject* parent) : QAbstractListModel(parent) {}

ChunkListModel::~ChunkListModel() = default;

void ChunkListModel::setSpans(ChunkSpans* spans)
{
    if (spans == m_spans)
        return;
    if (m_spans)
        disconnect(m_spans, nullptr, this, nullptr);
    m_spans = spans;
    if (m_spans) {
        connect(m_spans, &ChunkSpans::changed, this, &ChunkListModel::reset);
        // Rows of chunks that are gone must not stay listed.
        connect(m_spans, &QObject::destroyed, this, &ChunkListModel::reset);
    }
    reset();
    emit spansChanged();
}

void ChunkListModel::setStreamId(const QString& value)
{
    if (value == m_streamId)
        return;
    m_streamId = value;
    emit streamIdChanged();
}

int ChunkListModel::count() const
{
    return m_rows;
}

void ChunkListModel::reset()
{
    // The rows are the spans' own: a new set of chunks is a new list.
    beginResetModel();
    m_rows = m_spans ? m_spans->count() : 0;
    endResetModel();
    emit countChanged();
}

QVariantMap ChunkListModel::get(int row) const
{
    if (!m_spans || row < 0 || row >= m_rows)
        return {};
    QVariantMap chunk = m_spans->chunk(row);
    chunk.insert(QStringLiteral("streamId"), m_streamId);
    return chunk;
}

void ChunkListModel::clear()
{
    if (m_spans)
        m_spans->clear();
}

int ChunkListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant ChunkListModel::data(const QModelIndex& index, int role) const
{
    if (!m_spans || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        index.row() >= m_spans->count())
        return {};
    const ChunkSpans::Chunk& chunk = m_spans->chunks()[std::size_t(index.row())];
    switch (role) {
    case StartRole:
        return chunk.start;
    case EndRole:
        return chunk.end;
    case SizeRole:
        return chunk.size;
    default:
        return {};
    }
}

QHash<int, QByteArray> ChunkListModel::roleNames() const
{
    static const QHash<int, QByteArray> names{{StartRole, "start"}, {EndRole, "end"}, {SizeRole, "size"}};
    return names;
}
