// SPDX-License-Identifier: MIT
#pragma once

#include <utility>
#include <vector>

#include <QObject>
#include <QVariantList>
#include <QVariantMap>

// The recorded chunks of one stream, sorted by start, for the time bar of the recorded page.
// Times are ms since the epoch; a chunk holds the moments start <= ms < end.
class ChunkSpans : public QObject
{
    Q_OBJECT

public:
    struct Chunk
    {
        qint64 start = 0;
        qint64 end = 0;
        // Bytes; -1 when the entry gave none.
        qint64 size = -1;

        bool operator==(const Chunk& other) const
        {
            return start == other.start && end == other.end && size == other.size;
        }
    };

    explicit ChunkSpans(QObject* parent = nullptr);
    ~ChunkSpans() override;

    // Maps with "start", "end" and optionally "size", as VantorClient::streamChunksReceived gives
    // them. Entries without whole-number start and end, or ending before they start, are dropped
    // with one warning; of entries with the same start and end the first is kept.
    Q_INVOKABLE void setChunks(const QVariantList& chunks);
    Q_INVOKABLE void clear();
    Q_INVOKABLE int count() const;
    // The chunk holding ms, or -1. Of overlapping chunks, the one that starts first.
    Q_INVOKABLE int indexAt(qlonglong ms) const;
    // The first chunk that starts at or after ms, or -1.
    Q_INVOKABLE int nextIndex(qlonglong ms) const;
    // {start, end, size}, or an empty map for an index out of range.
    Q_INVOKABLE QVariantMap chunk(int index) const;
    // How much of [from, to) the chunks hold; overlapping chunks count once.
    Q_INVOKABLE qlonglong coveredMs(qlonglong from, qlonglong to) const;

    const std::vector<Chunk>& chunks() const { return m_chunks; }
    // The latest end among the chunks 0..index: never decreasing, so that it can be searched.
    qint64 reach(int index) const { return m_reach[std::size_t(index)]; }
    // [first, last) of the chunks that may overlap [from, to): every one that does is inside.
    // Chunks inside that do not overlap exist only when chunks overlap one another. O(log n).
    std::pair<int, int> overlapping(qint64 from, qint64 to) const;

signals:
    void changed();

private:
    // The first chunk whose reach is later than ms; count() if none.
    int firstReachingPast(qint64 ms) const;

    std::vector<Chunk> m_chunks;
    std::vector<qint64> m_reach;
};
