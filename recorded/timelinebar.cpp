// SPDX-License-Identifier: MIT
#include "timelinebar.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QDateTime>
#include <QDebug>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QTime>
#include <QWheelEvent>
#include <QtQml>

#include "recordedlog.h"

namespace {

// As in ChunkSpans: no recording lies beyond 2^53 ms, and differences of bounded times are exact.
constexpr qint64 maxTimeMs = qint64(1) << 53;

qint64 boundTime(qlonglong ms)
{
    return std::clamp<qint64>(ms, -maxTimeMs, maxTimeMs);
}

// The pixel columns of the view: column c holds the moments whose offset from the view's start,
// scaled to the width, rounds down to c. Monotonic in the time, so that sorted times give sorted
// columns and columns can be searched for.
class Columns
{
public:
    Columns(qint64 viewStart, qint64 viewEnd, int count)
        : m_start(viewStart), m_end(viewEnd), m_count(count), m_width(double(viewEnd - viewStart))
    {
    }

    // -1 for moments before the view, count() for those after it.
    int at(qint64 ms) const
    {
        const qint64 t = std::clamp(ms, m_start - 1, m_end);
        // Exact for the view sizes of a day: the product is an integer below 2^53.
        return int(std::floor(double(t - m_start) * double(m_count) / m_width));
    }

private:
    qint64 m_start;
    qint64 m_end;
    int m_count;
    double m_width;
};

// The first index in [from, end) where `past` holds, for a predicate that turns true once and
// stays so. Doubling steps first: a jump over d entries costs O(log d), never more than O(d).
template <typename Predicate>
int gallop(int from, int end, Predicate past)
{
    if (from >= end || past(from))
        return from;
    int below = from;
    int step = 1;
    int above = end;
    while (end - below > step) {
        const int probe = below + step;
        if (past(probe)) {
            above = probe;
            break;
        }
        below = probe;
        step *= 2;
    }
    while (above - below > 1) {
        const int middle = below + (above - below) / 2;
        if (past(middle))
            above = middle;
        else
            below = middle;
    }
    return above;
}

// Label steps from a few minutes to a day; the smallest that leaves room for a label is used.
constexpr qint64 tickSteps[] = {
    60 * 1000,       2 * 60 * 1000,   5 * 60 * 1000,   10 * 60 * 1000,  15 * 60 * 1000,   30 * 60 * 1000,   3600 * 1000,
    2 * 3600 * 1000, 3 * 3600 * 1000, 4 * 3600 * 1000, 6 * 3600 * 1000, 12 * 3600 * 1000, 24 * 3600 * 1000,
};

constexpr int tickLength = 3;
// Share of the bar's height that the POS marks take, from its top.
constexpr double posMarkShare = 0.4;

} // namespace

TimelineBar::TimelineBar(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAcceptedMouseButtons(Qt::LeftButton);
    setOpaquePainting(false);
    setAntialiasing(false);
}

TimelineBar::~TimelineBar() = default;

ChunkSpans* TimelineBar::spans() const
{
    return m_spans.data();
}

void TimelineBar::setSpans(ChunkSpans* spans)
{
    if (spans == m_spans)
        return;
    if (m_spans)
        disconnect(m_spans, nullptr, this, nullptr);
    m_spans = spans;
    if (spans) {
        connect(spans, &ChunkSpans::changed, this, [this] { update(); });
        connect(spans, &QObject::destroyed, this, [this] {
            emit spansChanged();
            update();
        });
    }
    emit spansChanged();
    update();
}

QVariantList TimelineBar::posTimes() const
{
    QVariantList result;
    result.reserve(int(m_posTimes.size()));
    for (qint64 ms : m_posTimes)
        result.append(qlonglong(ms));
    return result;
}

std::vector<qint64> TimelineBar::parsePosTimes(const QVariantList& times)
{
    std::vector<qint64> parsed;
    parsed.reserve(std::size_t(times.size()));
    int dropped = 0;
    for (const QVariant& value : times) {
        if (value.userType() == QMetaType::QDateTime) {
            const QDateTime moment = value.toDateTime();
            if (moment.isValid()) {
                parsed.push_back(boundTime(moment.toMSecsSinceEpoch()));
                continue;
            }
        } else if (value.userType() != QMetaType::QString && value.userType() != QMetaType::Bool) {
            bool ok = false;
            const double ms = value.toDouble(&ok);
            if (ok && std::isfinite(ms)) {
                parsed.push_back(
                    boundTime(qint64(std::llround(std::clamp(ms, -double(maxTimeMs), double(maxTimeMs))))));
                continue;
            }
        }
        ++dropped;
    }
    if (dropped > 0)
        qCWarning(lcRecorded).noquote() << QStringLiteral(
                                               "TimelineBar: dropped %1 of %2 POS times that are neither a number "
                                               "nor a date")
                                               .arg(dropped)
                                               .arg(times.size());
    std::sort(parsed.begin(), parsed.end());
    return parsed;
}

void TimelineBar::setPosTimes(const QVariantList& times)
{
    setPosTimes(parsePosTimes(times));
}

QVariantList TimelineBar::bookmarkSpans() const
{
    QVariantList result;
    for (const auto& span : m_bookmarkSpans)
        result.append(QVariant(QVariantList{qlonglong(span.first), qlonglong(span.second)}));
    return result;
}

std::vector<std::pair<qint64, qint64>> TimelineBar::parseBookmarkSpans(const QVariantList& spans)
{
    std::vector<std::pair<qint64, qint64>> parsed;
    int dropped = 0;
    for (const QVariant& value : spans) {
        const QVariantList pair = value.toList();
        bool startOk = false;
        bool endOk = false;
        const double start = pair.size() == 2 ? pair.at(0).toDouble(&startOk) : 0;
        const double end = pair.size() == 2 ? pair.at(1).toDouble(&endOk) : 0;
        if (!startOk || !endOk || !std::isfinite(start) || !std::isfinite(end)) {
            ++dropped;
            continue;
        }
        const qint64 from = boundTime(qint64(std::llround(std::clamp(start, -double(maxTimeMs), double(maxTimeMs)))));
        const qint64 to = boundTime(qint64(std::llround(std::clamp(end, -double(maxTimeMs), double(maxTimeMs)))));
        parsed.emplace_back(std::min(from, to), std::max(from, to));
    }
    if (dropped > 0)
        qCWarning(lcRecorded).noquote() << QStringLiteral(
                                               "TimelineBar: dropped %1 of %2 bookmarks that are not two numbers")
                                               .arg(dropped)
                                               .arg(spans.size());
    std::sort(parsed.begin(), parsed.end());
    return parsed;
}

void TimelineBar::setBookmarkSpans(const QVariantList& spans)
{
    std::vector<std::pair<qint64, qint64>> parsed = parseBookmarkSpans(spans);
    if (parsed == m_bookmarkSpans)
        return;
    m_bookmarkSpans = std::move(parsed);
    emit bookmarkSpansChanged();
    update();
}

void TimelineBar::setBookmarkColor(const QColor& color)
{
    setColor(&m_bookmarkColor, color);
}

void TimelineBar::setLanes(const QVariantList& lanes)
{
    for (const Lane& lane : m_lanes)
        if (lane.spans)
            disconnect(lane.spans, nullptr, this, nullptr);
    m_lanes.clear();
    for (const QVariant& value : lanes) {
        const QVariantMap entry = value.toMap();
        Lane lane;
        lane.spans = qobject_cast<ChunkSpans*>(entry.value(QStringLiteral("spans")).value<QObject*>());
        lane.posTimes = parsePosTimes(entry.value(QStringLiteral("posTimes")).toList());
        lane.bookmarks = parseBookmarkSpans(entry.value(QStringLiteral("bookmarkSpans")).toList());
        lane.name = entry.value(QStringLiteral("name")).toString();
        if (lane.spans)
            connect(lane.spans, &ChunkSpans::changed, this, [this] { update(); });
        m_lanes.push_back(std::move(lane));
    }
    m_laneList = lanes;
    emit lanesChanged();
    update();
}

int TimelineBar::laneAt(qreal y) const
{
    if (m_lanes.empty() || y < 0 || y >= height())
        return -1;
    return std::min(int(m_lanes.size()) - 1, int(y * qreal(m_lanes.size()) / std::max<qreal>(1, m_barHeight)));
}

void TimelineBar::setPosTimes(std::vector<qint64> times)
{
    std::sort(times.begin(), times.end());
    if (times == m_posTimes)
        return;
    m_posTimes = std::move(times);
    emit posTimesChanged();
    update();
}

qlonglong TimelineBar::dayStart() const
{
    return m_dayStart;
}

void TimelineBar::setDayStart(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_dayStart)
        return;
    m_dayStart = ms;
    emit dayChanged();
    // Another day is looked at as a whole first.
    showWholeDay();
}

qlonglong TimelineBar::dayEnd() const
{
    return m_dayEnd;
}

void TimelineBar::setDayEnd(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_dayEnd)
        return;
    m_dayEnd = ms;
    emit dayChanged();
    showWholeDay();
}

qint64 TimelineBar::effectiveDayEnd() const
{
    // While QML sets the two ends one after the other the day can be empty for a moment.
    return std::max(m_dayEnd, m_dayStart + minimumViewMs);
}

qlonglong TimelineBar::viewStart() const
{
    return m_viewStart;
}

void TimelineBar::setViewStart(qlonglong ms)
{
    const qint64 start = boundTime(ms);
    setView(double(start), std::max(m_viewEnd - start, minimumViewMs));
}

qlonglong TimelineBar::viewEnd() const
{
    return m_viewEnd;
}

void TimelineBar::setViewEnd(qlonglong ms)
{
    const qint64 end = boundTime(ms);
    const qint64 width = std::max(end - m_viewStart, minimumViewMs);
    setView(double(end - width), width);
}

void TimelineBar::setView(double start, qint64 width)
{
    const qint64 dayEnd = effectiveDayEnd();
    width = std::clamp(width, minimumViewMs, dayEnd - m_dayStart);
    if (std::isnan(start))
        start = double(m_viewStart);
    const qint64 first = std::llround(std::clamp(start, double(m_dayStart), double(dayEnd - width)));
    if (first == m_viewStart && first + width == m_viewEnd)
        return;
    m_viewStart = first;
    m_viewEnd = first + width;
    emit viewChanged();
    update();
}

qlonglong TimelineBar::position() const
{
    return m_position;
}

void TimelineBar::setPosition(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_position)
        return;
    m_position = ms;
    emit positionChanged();
    update();
}

qlonglong TimelineBar::markA() const
{
    return m_markA;
}

void TimelineBar::setMarkA(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_markA)
        return;
    m_markA = ms;
    emit markAChanged();
    update();
}

qlonglong TimelineBar::markB() const
{
    return m_markB;
}

void TimelineBar::setMarkB(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_markB)
        return;
    m_markB = ms;
    emit markBChanged();
    update();
}

qlonglong TimelineBar::markedMoment() const
{
    return m_markedMoment;
}

void TimelineBar::setMarkedMoment(qlonglong ms)
{
    ms = boundTime(ms);
    if (ms == m_markedMoment)
        return;
    m_markedMoment = ms;
    emit markedMomentChanged();
    update();
}

void TimelineBar::setColor(QColor* member, const QColor& color)
{
    if (*member == color)
        return;
    *member = color;
    emit colorsChanged();
    update();
}

QColor TimelineBar::spanColor() const
{
    return m_spanColor;
}

void TimelineBar::setSpanColor(const QColor& color)
{
    setColor(&m_spanColor, color);
}

QColor TimelineBar::gapColor() const
{
    return m_gapColor;
}

void TimelineBar::setGapColor(const QColor& color)
{
    setColor(&m_gapColor, color);
}

QColor TimelineBar::posColor() const
{
    return m_posColor;
}

void TimelineBar::setPosColor(const QColor& color)
{
    setColor(&m_posColor, color);
}

QColor TimelineBar::positionColor() const
{
    return m_positionColor;
}

void TimelineBar::setPositionColor(const QColor& color)
{
    setColor(&m_positionColor, color);
}

QColor TimelineBar::markColor() const
{
    return m_markColor;
}

void TimelineBar::setMarkColor(const QColor& color)
{
    setColor(&m_markColor, color);
}

QColor TimelineBar::markedMomentColor() const
{
    return m_markedMomentColor;
}

void TimelineBar::setMarkedMomentColor(const QColor& color)
{
    setColor(&m_markedMomentColor, color);
}

QColor TimelineBar::textColor() const
{
    return m_textColor;
}

void TimelineBar::setTextColor(const QColor& color)
{
    setColor(&m_textColor, color);
}

qlonglong TimelineBar::timeAt(qreal x) const
{
    const qint64 viewWidth = m_viewEnd - m_viewStart;
    // Negated test: a NaN lands on the start too.
    if (!(width() > 0) || !(x > 0))
        return m_viewStart;
    const double fraction = std::min(1.0, double(x) / width());
    return std::min(m_viewStart + qint64(std::floor(fraction * double(viewWidth))), m_viewEnd - 1);
}

qreal TimelineBar::xAt(qlonglong ms) const
{
    return (double(ms) - double(m_viewStart)) * width() / double(m_viewEnd - m_viewStart);
}

void TimelineBar::zoomAt(qreal x, qreal factor)
{
    if (!std::isfinite(factor) || factor <= 0) {
        qCWarning(lcRecorded) << "TimelineBar: zoom factor" << factor << "ignored";
        return;
    }
    const double viewWidth = double(m_viewEnd - m_viewStart);
    const double fraction = width() > 0 ? (x > 0 ? std::min(1.0, double(x) / width()) : 0.0) : 0.5;
    const double anchor = double(m_viewStart) + fraction * viewWidth;
    const double wanted = std::clamp(viewWidth / factor, double(minimumViewMs), double(maxTimeMs));
    const qint64 newWidth = std::llround(wanted);
    setView(anchor - fraction * double(newWidth), newWidth);
}

void TimelineBar::panBy(qreal dx)
{
    if (!(width() > 0) || !std::isfinite(dx))
        return;
    const qint64 viewWidth = m_viewEnd - m_viewStart;
    setView(double(m_viewStart) - double(dx) * double(viewWidth) / width(), viewWidth);
}

void TimelineBar::showWholeDay()
{
    setView(double(m_dayStart), effectiveDayEnd() - m_dayStart);
}

void TimelineBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressX = event->localPos().x();
    const double fraction = width() > 0 ? std::clamp(double(m_pressX) / width(), 0.0, 1.0) : 0.0;
    m_pressTime = double(m_viewStart) + fraction * double(m_viewEnd - m_viewStart);
    event->accept();
}

void TimelineBar::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed) {
        event->ignore();
        return;
    }
    const qreal x = event->localPos().x();
    if (!m_dragging && std::abs(x - m_pressX) >= QGuiApplication::styleHints()->startDragDistance()) {
        m_dragging = true;
        // A list or flickable around the bar must not take the drag over.
        setKeepMouseGrab(true);
    }
    // The moment grabbed stays under the pointer.
    if (m_dragging && width() > 0)
        setView(m_pressTime - double(x) * double(m_viewEnd - m_viewStart) / width(), m_viewEnd - m_viewStart);
    event->accept();
}

void TimelineBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool click = !m_dragging;
    m_pressed = false;
    m_dragging = false;
    setKeepMouseGrab(false);
    event->accept();
    if (click)
        emit seekRequested(timeAt(event->localPos().x()));
}

void TimelineBar::mouseUngrabEvent()
{
    m_pressed = false;
    m_dragging = false;
    setKeepMouseGrab(false);
}

void TimelineBar::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    // A notch (120) zooms by a quarter; touchpads send smaller steps and zoom smoothly.
    zoomAt(event->position().x(), std::pow(1.25, double(delta) / 120.0));
    event->accept();
}

void TimelineBar::paint(QPainter* painter)
{
    paintBar(painter, QSize(int(std::ceil(width())), int(std::ceil(height()))));
}

void TimelineBar::paintBar(QPainter* painter, const QSize& size) const
{
    const int columns = size.width();
    const int height = size.height();
    if (columns <= 0 || height <= 0)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);

    const QFontMetrics metrics = painter->fontMetrics();
    const int labelHeight = metrics.height();
    // Labels only where they leave the bar at least as tall as themselves.
    const bool labels = height >= 2 * (labelHeight + tickLength);
    const int barHeight = labels ? height - labelHeight - tickLength : height;

    m_barHeight = barHeight;
    if (m_lanes.empty()) {
        painter->fillRect(QRect(0, 0, columns, barHeight), m_gapColor);
        paintSpans(painter, m_spans, columns, 0, barHeight);
        paintPosMarks(painter, m_posTimes, columns, 0, std::max(1, int(barHeight * posMarkShare)));
        paintBookmarks(painter, m_bookmarkSpans, columns, 0, barHeight);
    } else {
        paintLanes(painter, columns, barHeight);
    }
    if (labels)
        paintTicks(painter, columns, barHeight, height);

    const Columns view(m_viewStart, m_viewEnd, columns);
    if (m_markA >= 0 && m_markB >= 0) {
        const int from = std::max(0, view.at(std::min(m_markA, m_markB)));
        const int to = std::min(columns - 1, view.at(std::max(m_markA, m_markB)));
        if (to >= from) {
            QColor shade = m_markColor;
            shade.setAlpha(70);
            painter->fillRect(QRect(from, 0, to - from + 1, barHeight), shade);
        }
    }
    for (const auto& mark :
         {std::make_pair(m_markA, QStringLiteral("A")), std::make_pair(m_markB, QStringLiteral("B"))}) {
        if (mark.first < 0)
            continue;
        paintLine(painter, mark.first, columns, height, m_markColor);
        const int column = view.at(mark.first);
        if (column >= 0 && column < columns) {
            painter->setPen(m_markColor);
            painter->drawText(QPoint(column + 3, metrics.ascent()), mark.second);
        }
    }
    paintMarkedMoment(painter, columns, height);
    if (m_position >= 0)
        paintLine(painter, m_position, columns, height, m_positionColor);
    painter->restore();
}

// A thin line under a small flag at the top, so that it does not pass for the playing moment (a
// thicker line) or an export mark (a line with a letter), even where they meet.
// A span as a band along the bar's foot, its start as a small flag rising from it: apart from the
// POS marks, which run along the top.
void TimelineBar::paintBookmarks(QPainter* painter, const std::vector<std::pair<qint64, qint64>>& bookmarks,
                                 int columns, int top, int height) const
{
    const Columns view(m_viewStart, m_viewEnd, columns);
    const int band = std::max(2, height / 8);
    const int flag = std::max(band, height / 3);
    const int barHeight = top + height;
    for (const auto& span : bookmarks) {
        if (span.second < m_viewStart || span.first > m_viewEnd)
            continue;
        const int from = std::max(0, view.at(span.first));
        const int to = std::min(columns - 1, view.at(span.second));
        if (to >= from)
            painter->fillRect(QRect(from, barHeight - band, to - from + 1, band), m_bookmarkColor);
        const int start = view.at(span.first);
        if (start >= 0 && start < columns)
            painter->fillRect(QRect(std::max(0, start - 1), barHeight - flag, 3, flag), m_bookmarkColor);
    }
}

void TimelineBar::paintMarkedMoment(QPainter* painter, int columns, int height) const
{
    if (m_markedMoment < 0)
        return;
    const int column = Columns(m_viewStart, m_viewEnd, columns).at(m_markedMoment);
    if (column < 0 || column >= columns)
        return;
    painter->fillRect(QRect(column, 0, 1, height), m_markedMomentColor);
    constexpr int flagHalfWidth = 4;
    const int flagHeight = std::min(height, 2 * flagHalfWidth);
    for (int row = 0; row < flagHeight; ++row) {
        const int half = flagHalfWidth - row / 2;
        painter->fillRect(QRect(column - half, row, 2 * half + 1, 1), m_markedMomentColor);
    }
}

// Runs of touched columns are found by searching, not by visiting each chunk: a run grows by
// galloping past every chunk that starts at most one column beyond it, and takes its end from
// ChunkSpans::reach. Two searches in a row that find chunks move the run's end on by two columns or
// more, and runs lie a column apart, so a paint makes at most about 2 x columns searches. Each costs
// O(log n), and no more than the chunks it jumps over: O(columns log n) however many chunks there
// are, and never worse than linear in the chunks in view.
// One lane a camera, each with its recordings, POS marks and bookmarks, its name at its left end
// where the lane is tall enough; a thin gap apart.
void TimelineBar::paintLanes(QPainter* painter, int columns, int barHeight) const
{
    const int count = int(m_lanes.size());
    const QFontMetrics metrics = painter->fontMetrics();
    for (int i = 0; i < count; ++i) {
        const Lane& lane = m_lanes[std::size_t(i)];
        const int top = barHeight * i / count;
        const int bottom = barHeight * (i + 1) / count;
        const int height = std::max(1, bottom - top - (i + 1 < count && bottom - top > 3 ? 1 : 0));
        painter->fillRect(QRect(0, top, columns, height), m_gapColor);
        paintSpans(painter, lane.spans, columns, top, height);
        paintPosMarks(painter, lane.posTimes, columns, top, std::max(1, int(height * posMarkShare)));
        paintBookmarks(painter, lane.bookmarks, columns, top, height);
        if (!lane.name.isEmpty() && height >= metrics.height()) {
            painter->setPen(m_textColor);
            painter->drawText(QRect(3, top, columns - 6, height), Qt::AlignLeft | Qt::AlignVCenter,
                              metrics.elidedText(lane.name, Qt::ElideRight, std::max(0, columns / 4)));
        }
    }
}

void TimelineBar::paintSpans(QPainter* painter, const ChunkSpans* spans, int columns, int top, int height) const
{
    if (!spans || spans->count() == 0)
        return;
    const std::vector<ChunkSpans::Chunk>& chunks = spans->chunks();
    const int count = int(chunks.size());
    const Columns view(m_viewStart, m_viewEnd, columns);
    // From one ms before the view, so that a chunk of no length right at its start is not missed.
    int index = spans->overlapping(m_viewStart - 1, m_viewEnd).first;
    // The last column that the chunks of a run up to `last` touch; a chunk of no length still
    // marks its own column, as a recording is there.
    auto lastColumnUpTo = [&](int last) {
        return std::max(view.at(spans->reach(last) - 1), view.at(chunks[std::size_t(last)].start));
    };
    while (index < count) {
        const int firstColumn = view.at(chunks[std::size_t(index)].start);
        if (firstColumn >= columns)
            break;
        int lastColumn = lastColumnUpTo(index);
        int next = index + 1;
        while (lastColumn < columns - 1) {
            const int limit = lastColumn + 1;
            const int beyond = gallop(
                next, count, [&](int candidate) { return view.at(chunks[std::size_t(candidate)].start) > limit; });
            if (beyond == next)
                break;
            next = beyond;
            lastColumn = lastColumnUpTo(next - 1);
        }
        const int from = std::max(0, firstColumn);
        const int to = std::min(columns - 1, lastColumn);
        if (to >= from)
            painter->fillRect(QRect(from, top, to - from + 1, height), m_spanColor);
        if (lastColumn >= columns - 1)
            break;
        index = next;
    }
}

// One mark per column however many receipts fall into it: a search skips the rest of the column.
// Marks in neighbouring columns go out as one rectangle, as a busy till fills whole stretches.
void TimelineBar::paintPosMarks(QPainter* painter, const std::vector<qint64>& times, int columns, int top,
                                int height) const
{
    const int count = int(times.size());
    const Columns view(m_viewStart, m_viewEnd, columns);
    int index = int(std::lower_bound(times.begin(), times.end(), m_viewStart) - times.begin());
    int runStart = -1;
    int runEnd = -1;
    while (index < count) {
        const int column = view.at(times[std::size_t(index)]);
        if (column >= columns)
            break;
        if (column != runEnd + 1 || runStart < 0) {
            if (runStart >= 0)
                painter->fillRect(QRect(runStart, top, runEnd - runStart + 1, height), m_posColor);
            runStart = column;
        }
        runEnd = column;
        index =
            gallop(index + 1, count, [&](int candidate) { return view.at(times[std::size_t(candidate)]) > column; });
    }
    if (runStart >= 0)
        painter->fillRect(QRect(runStart, top, runEnd - runStart + 1, height), m_posColor);
}

qint64 TimelineBar::labelStepMs(qint64 viewMs, int columns, int spacing)
{
    if (viewMs <= 0 || columns <= 0)
        return tickSteps[0];
    auto roomy = [&](qint64 step) { return double(step) * columns / double(viewMs) >= spacing; };
    qint64 step = 0;
    for (qint64 candidate : tickSteps) {
        step = candidate;
        if (roomy(step))
            return step;
    }
    // Days longer than a day, or a bar too narrow for one label a day.
    while (!roomy(step) && step < (qint64(1) << 60))
        step *= 2;
    return step;
}

void TimelineBar::paintTicks(QPainter* painter, int columns, int barHeight, int height) const
{
    const QFontMetrics metrics = painter->fontMetrics();
    const int spacing = metrics.horizontalAdvance(QStringLiteral("00:00")) + 16;
    const qint64 step = labelStepMs(m_viewEnd - m_viewStart, columns, spacing);
    const Columns view(m_viewStart, m_viewEnd, columns);
    // Counted from the day's start, which the page sets to a local midnight.
    const qint64 offset = m_viewStart - m_dayStart;
    const qint64 firstTick = m_dayStart + (offset + step - 1) / step * step;
    // Every local time conversion asks the system for its zone; one offset serves the whole view
    // unless the clocks change inside it.
    const QString format = QStringLiteral("HH:mm");
    const int offsetMs = QDateTime::fromMSecsSinceEpoch(m_viewStart).offsetFromUtc() * 1000;
    const bool oneOffset = offsetMs == QDateTime::fromMSecsSinceEpoch(m_viewEnd).offsetFromUtc() * 1000;
    auto wallClockMs = [offsetMs](qint64 ms) {
        constexpr qint64 dayLength = 24 * 3600 * 1000;
        return ((ms + offsetMs) % dayLength + dayLength) % dayLength;
    };
    painter->setPen(m_textColor);
    // Labels pushed inside at the edges may meet their neighbours; the later one gives way.
    int labelsEnd = std::numeric_limits<int>::min();
    for (qint64 tick = firstTick; tick <= m_viewEnd; tick += step) {
        const int column = std::min(view.at(tick), columns - 1);
        painter->fillRect(QRect(column, barHeight, 1, tickLength), m_textColor);
        const QString label = oneOffset ? QTime::fromMSecsSinceStartOfDay(int(wallClockMs(tick))).toString(format)
                                        : QDateTime::fromMSecsSinceEpoch(tick).toString(format);
        const int labelWidth = metrics.horizontalAdvance(label);
        const int left = std::clamp(column - labelWidth / 2, 0, std::max(0, columns - labelWidth));
        if (left < labelsEnd)
            continue;
        labelsEnd = left + labelWidth + metrics.horizontalAdvance(QLatin1Char(' '));
        painter->drawText(QRect(left, barHeight + tickLength, labelWidth, height - barHeight - tickLength),
                          Qt::AlignLeft | Qt::AlignTop, label);
    }
}

void TimelineBar::paintLine(QPainter* painter, qint64 ms, int columns, int height, const QColor& color) const
{
    const int column = Columns(m_viewStart, m_viewEnd, columns).at(ms);
    if (column < 0 || column >= columns)
        return;
    painter->fillRect(QRect(column, 0, std::min(2, columns - column), height), color);
}
