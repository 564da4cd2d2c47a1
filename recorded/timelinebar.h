// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include <QColor>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QVariantList>

#include "chunkspans.h"

class QPainter;

// The time bar under the recorded-video player: one day with its recorded chunks as filled spans,
// POS receipts as marks, bookmarks as flags at its foot, the playing moment, two export marks and a marked moment (an
// event looked at). The wheel zooms around the pointer between the whole day and two minutes, a drag pans, a click asks
// to play from there. Times are ms since the epoch; -1 stands for "none" in position, markA, markB and markedMoment.
class TimelineBar : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(ChunkSpans* spans READ spans WRITE setSpans NOTIFY spansChanged)
    Q_PROPERTY(QVariantList posTimes READ posTimes WRITE setPosTimes NOTIFY posTimesChanged)
    // Bookmarks: [start, end] pairs in ms (a moment has start == end).
    Q_PROPERTY(QVariantList bookmarkSpans READ bookmarkSpans WRITE setBookmarkSpans NOTIFY bookmarkSpansChanged)
    // Several cameras: a lane each, {spans: ChunkSpans, posTimes, bookmarkSpans, name}, drawn in
    // place of spans, posTimes and bookmarkSpans; empty for one camera.
    Q_PROPERTY(QVariantList lanes READ lanes WRITE setLanes NOTIFY lanesChanged)
    Q_PROPERTY(qlonglong dayStart READ dayStart WRITE setDayStart NOTIFY dayChanged)
    Q_PROPERTY(qlonglong dayEnd READ dayEnd WRITE setDayEnd NOTIFY dayChanged)
    Q_PROPERTY(qlonglong viewStart READ viewStart WRITE setViewStart NOTIFY viewChanged)
    Q_PROPERTY(qlonglong viewEnd READ viewEnd WRITE setViewEnd NOTIFY viewChanged)
    Q_PROPERTY(qlonglong position READ position WRITE setPosition NOTIFY positionChanged)
    Q_PROPERTY(qlonglong markA READ markA WRITE setMarkA NOTIFY markAChanged)
    Q_PROPERTY(qlonglong markB READ markB WRITE setMarkB NOTIFY markBChanged)
    Q_PROPERTY(qlonglong markedMoment READ markedMoment WRITE setMarkedMoment NOTIFY markedMomentChanged)
    Q_PROPERTY(QColor spanColor READ spanColor WRITE setSpanColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor gapColor READ gapColor WRITE setGapColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor posColor READ posColor WRITE setPosColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor bookmarkColor READ bookmarkColor WRITE setBookmarkColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor positionColor READ positionColor WRITE setPositionColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor markColor READ markColor WRITE setMarkColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor markedMomentColor READ markedMomentColor WRITE setMarkedMomentColor NOTIFY colorsChanged)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor NOTIFY colorsChanged)

public:
    // The narrowest view.
    static constexpr qint64 minimumViewMs = 2 * 60 * 1000;

    explicit TimelineBar(QQuickItem* parent = nullptr);
    ~TimelineBar() override;

    ChunkSpans* spans() const;
    void setSpans(ChunkSpans* spans);

    QVariantList posTimes() const;
    // Numbers (ms) or dates; anything else is dropped with one warning.
    void setPosTimes(const QVariantList& times);
    void setPosTimes(std::vector<qint64> times);
    QVariantList bookmarkSpans() const;
    // Pairs of numbers; anything else is dropped with one warning.
    void setBookmarkSpans(const QVariantList& spans);
    QColor bookmarkColor() const { return m_bookmarkColor; }
    QVariantList lanes() const { return m_laneList; }
    void setLanes(const QVariantList& lanes);
    // The lane at a height of the bar, or -1.
    Q_INVOKABLE int laneAt(qreal y) const;
    void setBookmarkColor(const QColor& color);

    qlonglong dayStart() const;
    void setDayStart(qlonglong ms);
    qlonglong dayEnd() const;
    void setDayEnd(qlonglong ms);

    qlonglong viewStart() const;
    // Moves the start and keeps the end, within the limits of the day and the view's width.
    void setViewStart(qlonglong ms);
    qlonglong viewEnd() const;
    // Moves the end and keeps the start, within the same limits.
    void setViewEnd(qlonglong ms);

    qlonglong position() const;
    void setPosition(qlonglong ms);
    qlonglong markA() const;
    void setMarkA(qlonglong ms);
    qlonglong markB() const;
    void setMarkB(qlonglong ms);
    qlonglong markedMoment() const;
    void setMarkedMoment(qlonglong ms);

    QColor spanColor() const;
    void setSpanColor(const QColor& color);
    QColor gapColor() const;
    void setGapColor(const QColor& color);
    QColor posColor() const;
    void setPosColor(const QColor& color);
    QColor positionColor() const;
    void setPositionColor(const QColor& color);
    QColor markColor() const;
    void setMarkColor(const QColor& color);
    QColor markedMomentColor() const;
    void setMarkedMomentColor(const QColor& color);
    QColor textColor() const;
    void setTextColor(const QColor& color);

    // The moment at x (clamped to the bar), rounded down to the ms.
    Q_INVOKABLE qlonglong timeAt(qreal x) const;
    Q_INVOKABLE qreal xAt(qlonglong ms) const;
    // factor > 1 zooms in, < 1 out; the moment under x stays under x unless the day's edge stops it.
    Q_INVOKABLE void zoomAt(qreal x, qreal factor);
    // Moves the picture by dx pixels, as a drag does: positive shows earlier times.
    Q_INVOKABLE void panBy(qreal dx);
    Q_INVOKABLE void showWholeDay();

    // The step between time labels: the shortest of 1, 2, 5, 10, 15 and 30 minutes, 1, 2, 3, 4, 6,
    // 12 and 24 hours that puts labels at least `spacing` pixels apart.
    static qint64 labelStepMs(qint64 viewMs, int columns, int spacing);

    void paint(QPainter* painter) override;
    // Draws the bar into a target of the given size, as paint() does on the item.
    void paintBar(QPainter* painter, const QSize& size) const;

signals:
    void spansChanged();
    void posTimesChanged();
    void bookmarkSpansChanged();
    void lanesChanged();
    void dayChanged();
    void viewChanged();
    void positionChanged();
    void markAChanged();
    void markBChanged();
    void markedMomentChanged();
    void colorsChanged();
    void seekRequested(qlonglong ms);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseUngrabEvent() override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The day as used: never shorter than the narrowest view.
    qint64 effectiveDayEnd() const;
    // Clamps the width to [two minutes, the day] and then the range into the day.
    // A double start, so that drags and zooms far past the day's edges clamp instead of overflowing.
    void setView(double start, qint64 width);
    void setColor(QColor* member, const QColor& color);
    struct Lane
    {
        QPointer<ChunkSpans> spans;
        std::vector<qint64> posTimes;
        std::vector<std::pair<qint64, qint64>> bookmarks;
        QString name;
    };
    // Numbers (ms) or dates, sorted; anything else is dropped with one warning.
    static std::vector<qint64> parsePosTimes(const QVariantList& times);
    // Pairs of numbers, sorted; anything else is dropped with one warning.
    static std::vector<std::pair<qint64, qint64>> parseBookmarkSpans(const QVariantList& spans);
    void paintLanes(QPainter* painter, int columns, int barHeight) const;
    void paintSpans(QPainter* painter, const ChunkSpans* spans, int columns, int top, int height) const;
    void paintPosMarks(QPainter* painter, const std::vector<qint64>& times, int columns, int top, int height) const;
    void paintTicks(QPainter* painter, int columns, int barHeight, int height) const;
    void paintLine(QPainter* painter, qint64 ms, int columns, int height, const QColor& color) const;
    void paintMarkedMoment(QPainter* painter, int columns, int height) const;
    void paintBookmarks(QPainter* painter, const std::vector<std::pair<qint64, qint64>>& bookmarks, int columns,
                        int top, int height) const;

    QPointer<ChunkSpans> m_spans;
    std::vector<qint64> m_posTimes;
    std::vector<std::pair<qint64, qint64>> m_bookmarkSpans;
    std::vector<Lane> m_lanes;
    QVariantList m_laneList;
    // The bar's height below which the labels go, as last drawn.
    mutable int m_barHeight = 0;
    qint64 m_dayStart = 0;
    qint64 m_dayEnd = 24 * 3600 * 1000;
    qint64 m_viewStart = 0;
    qint64 m_viewEnd = 24 * 3600 * 1000;
    qint64 m_position = -1;
    qint64 m_markA = -1;
    qint64 m_markB = -1;
    qint64 m_markedMoment = -1;
    QColor m_spanColor{0x4c, 0xaf, 0x50};
    QColor m_gapColor{0x30, 0x30, 0x30};
    QColor m_posColor{0xff, 0xc1, 0x07};
    QColor m_positionColor{0xf4, 0x43, 0x36};
    QColor m_bookmarkColor{0x00, 0xe5, 0xff};
    QColor m_markColor{0x21, 0x96, 0xf3};
    QColor m_markedMomentColor{0xe0, 0x40, 0xfb};
    QColor m_textColor{0xe0, 0xe0, 0xe0};

    // A press becomes a drag once it moves further than the platform's drag distance.
    bool m_pressed = false;
    bool m_dragging = false;
    qreal m_pressX = 0;
    double m_pressTime = 0;
};
