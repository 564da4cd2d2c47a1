// SPDX-License-Identifier: MIT
#include "chunkspans.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDebug>
#include <QtQml>

#include "recordedlog.h"

namespace {

// Times beyond 2^53 ms (about 285,000 years) are not times of a recording; the bound also keeps
// every difference of two times exact, as a double in QML and as an integer here.
constexpr qint64 maxTimeMs = qint64(1) << 53;

// A whole number of ms within the bound; QML hands numbers over as doubles, the server as integers.
bool toTime(const QVariant& value, qint64* out)
{
    qint64 result = 0;
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        result = value.toLongLong();
        break;
    case QMetaType::ULongLong: {
        const qulonglong unsignedValue = value.toULongLong();
        if (unsignedValue > qulonglong(maxTimeMs))
            return false;
        result = qint64(unsignedValue);
        break;
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) > double(maxTimeMs))
            return false;
        result = qint64(number);
        break;
    }
    default:
        return false;
    }
    if (result > maxTimeMs || result < -maxTimeMs)
        return false;
    *out = result;
    return true;
}

QVariant field(const QVariant& entry, const QString& key)
{
    if (entry.userType() == QMetaType::QVariantMap) {
        const QVariantMap& map = *static_cast<const QVariantMap*>(entry.constData());
        const auto it = map.constFind(key);
        return it == map.constEnd() ? QVariant() : *it;
    }
    if (entry.userType() == QMetaType::QVariantHash) {
        const QVariantHash& hash = *static_cast<const QVariantHash*>(entry.constData());
        const auto it = hash.constFind(key);
        return it == hash.constEnd() ? QVariant() : *it;
    }
    return QVariant();
}

} // namespace

ChunkSpans::ChunkSpans(QObject* parent) : QObject(parent) {}

ChunkSpans::~ChunkSpans() = default;

void ChunkSpans::setChunks(const QVariantList& chunks)
{
    static const QString startKey = QStringLiteral("start");
    static const QString endKey = QStringLiteral("end");
    static const QString sizeKey = QStringLiteral("size");

    std::vector<Chunk> parsed;
    parsed.reserve(std::size_t(chunks.size()));
    int dropped = 0;
    for (const QVariant& entry : chunks) {
        Chunk chunk;
        if (!toTime(field(entry, startKey), &chunk.start) || !toTime(field(entry, endKey), &chunk.end) ||
            chunk.end < chunk.start) {
            ++dropped;
            continue;
        }
        qint64 size = -1;
        if (toTime(field(entry, sizeKey), &size) && size >= 0)
            chunk.size = size;
        parsed.push_back(chunk);
    }
    if (dropped > 0)
        qCWarning(lcRecorded).noquote() << QStringLiteral(
                                               "ChunkSpans: dropped %1 of %2 chunks without a whole-number start and "
                                               "end, or ending before they start")
                                               .arg(dropped)
                                               .arg(chunks.size());

    // Stable, so that of duplicates the one listed first keeps its size.
    std::stable_sort(parsed.begin(), parsed.end(), [](const Chunk& a, const Chunk& b) {
        return a.start != b.start ? a.start < b.start : a.end < b.end;
    });
    parsed.erase(std::unique(parsed.begin(), parsed.end(),
                             [](const Chunk& a, const Chunk& b) { return a.start == b.start && a.end == b.end; }),
                 parsed.end());
    parsed.shrink_to_fit();

    // The same answer again (a repeated search) leaves the bar as it is.
    if (parsed == m_chunks)
        return;

    std::vector<qint64> reach(parsed.size());
    qint64 latest = std::numeric_limits<qint64>::min();
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        latest = std::max(latest, parsed[i].end);
        reach[i] = latest;
    }
    m_chunks = std::move(parsed);
    m_reach = std::move(reach);
    emit changed();
}

void ChunkSpans::clear()
{
    if (m_chunks.empty())
        return;
    m_chunks = {};
    m_reach = {};
    emit changed();
}

int ChunkSpans::count() const
{
    return int(m_chunks.size());
}

int ChunkSpans::firstReachingPast(qint64 ms) const
{
    return int(std::upper_bound(m_reach.begin(), m_reach.end(), ms) - m_reach.begin());
}

int ChunkSpans::indexAt(qlonglong ms) const
{
    // Every chunk before `first` ends at or before ms; `first` itself ends after it, and if it
    // starts after ms, so does every later one.
    const int first = firstReachingPast(ms);
    if (first < count() && m_chunks[std::size_t(first)].start <= ms)
        return first;
    return -1;
}

int ChunkSpans::nextIndex(qlonglong ms) const
{
    const auto it = std::lower_bound(m_chunks.begin(), m_chunks.end(), ms,
                                     [](const Chunk& chunk, qint64 value) { return chunk.start < value; });
    return it == m_chunks.end() ? -1 : int(it - m_chunks.begin());
}

QVariantMap ChunkSpans::chunk(int index) const
{
    if (index < 0 || index >= count())
        return {};
    const Chunk& chunk = m_chunks[std::size_t(index)];
    return QVariantMap{
        {QStringLiteral("start"), qlonglong(chunk.start)},
        {QStringLiteral("end"), qlonglong(chunk.end)},
        {QStringLiteral("size"), qlonglong(chunk.size)},
    };
}

qlonglong ChunkSpans::coveredMs(qlonglong from, qlonglong to) const
{
    if (to <= from)
        return 0;
    const std::pair<int, int> range = overlapping(from, to);
    qint64 total = 0;
    // Everything before the cursor is counted already.
    qint64 cursor = from;
    for (int i = range.first; i < range.second; ++i) {
        const Chunk& chunk = m_chunks[std::size_t(i)];
        const qint64 begin = std::max(chunk.start, cursor);
        const qint64 end = std::min(chunk.end, qint64(to));
        if (end > begin) {
            total += end - begin;
            cursor = end;
        }
    }
    return total;
}

std::pair<int, int> ChunkSpans::overlapping(qint64 from, qint64 to) const
{
    const int first = firstReachingPast(from);
    const auto it = std::lower_bound(m_chunks.begin(), m_chunks.end(), to,
                                     [](const Chunk& chunk, qint64 value) { return chunk.start < value; });
    const int last = int(it - m_chunks.begin());
    return {first, std::max(first, last)};
}
