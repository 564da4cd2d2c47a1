// SPDX-License-Identifier: MIT
// Diagnostics for measuring the live view from outside, off unless asked for in the environment:
//   STATION_TILE_STATS_MS=N          every N ms, one log line per video item with its frame counters
//                                    and where it lies in its window (device pixels); also a line
//                                    when the layout list gets its rows
//   STATION_WINDOW_GEOMETRY=WxH+X+Y  places the client's window once it exists (a benchmark wants
//                                    tiles of a known size whatever the window manager does)
#include "tilestats.h"

#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRect>
#include <QRegularExpression>
#include <QTimer>
#include <QVariant>
#include <QWindow>
#include <QtDebug>

#include "layoutlist.h"

namespace {

void collectVideoItems(QQuickItem* item, QList<QQuickItem*>& found)
{
    // By class name: the video item lives in a library this one does not link.
    if (item->inherits("MpvObject"))
        found.append(item);
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children)
        collectVideoItems(child, found);
}

QList<QQuickItem*> videoItems()
{
    QList<QQuickItem*> found;
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        if (auto* quick = qobject_cast<QQuickWindow*>(window))
            collectVideoItems(quick->contentItem(), found);
    }
    return found;
}

int intProperty(const QObject* object, const char* name)
{
    return object->property(name).toInt();
}

void logTileStats()
{
    static quint64 tick = 0;
    ++tick;
    const QList<QQuickItem*> items = videoItems();
    // The monotonic clock, in the same terms as the "%{time boot}" of a message pattern.
    QElapsedTimer now;
    now.start();
    // Where the window is on the screen, so that a tile's place in it gives its place there.
    const QWindow* window = items.isEmpty() ? nullptr : items.first()->window();
    const QRect frame = window ? window->geometry() : QRect();
    qInfo().noquote() << QStringLiteral("tile-stats tick=%1 t_ms=%2 tiles=%3 window=%4,%5,%6,%7")
                             .arg(tick)
                             .arg(now.msecsSinceReference())
                             .arg(items.size())
                             .arg(frame.x())
                             .arg(frame.y())
                             .arg(frame.width())
                             .arg(frame.height());
    int index = 0;
    for (QQuickItem* item : items) {
        const qreal ratio = item->window() ? item->window()->effectiveDevicePixelRatio() : 1.0;
        const bool loaded = intProperty(item, "playlistCount") >= 1 && intProperty(item, "dwidth") > 0 &&
                            intProperty(item, "dheight") > 0;
        // The item's rectangle in its window's coordinates, in device pixels: the player fits the
        // video inside it.
        const QRectF scene = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const QRect rect(qRound(scene.x() * ratio), qRound(scene.y() * ratio), qRound(scene.width() * ratio),
                         qRound(scene.height() * ratio));
        // Frames the item has presented (new positions reported by its player); -1 when the
        // item has no such counter.
        const QVariant presented = item->property("presentedFrames");
        // The frame number is an estimate from the container's frame rate, which a live stream
        // opened with a short probe may not report (then it reads 0); the position always moves.
        qInfo().noquote() << QStringLiteral("tile-stats tick=%1 tile=%2 size=%3x%4 loaded=%5 frame=%6 drop=%7 "
                                            "decdrop=%8 delayed=%9 video=%10x%11 pos=%12 vffps=%13 presented=%14 "
                                            "rect=%15,%16,%17,%18 path=%19")
                                 .arg(tick)
                                 .arg(index++)
                                 .arg(qRound(item->width() * ratio))
                                 .arg(qRound(item->height() * ratio))
                                 .arg(loaded ? 1 : 0)
                                 .arg(intProperty(item, "estimatedFrameNumber"))
                                 .arg(intProperty(item, "frameDropCount"))
                                 .arg(intProperty(item, "decoderFrameDropCount"))
                                 .arg(intProperty(item, "voDelayedFrameCount"))
                                 .arg(intProperty(item, "dwidth"))
                                 .arg(intProperty(item, "dheight"))
                                 .arg(item->property("position").toDouble(), 0, 'f', 3)
                                 .arg(item->property("estimatedVfFps").toDouble(), 0, 'f', 2)
                                 .arg(presented.isValid() ? presented.toLongLong() : -1)
                                 .arg(rect.x())
                                 .arg(rect.y())
                                 .arg(rect.width())
                                 .arg(rect.height())
                                 .arg(item->property("path").toString());
    }
}

// The layout list is filled right after the layouts are published to the remote interface; its
// rows mark that moment in the log.
void logLayoutListing(const std::function<LayoutList*()>& layouts)
{
    LayoutList* list = layouts ? layouts() : nullptr;
    if (!list)
        return;
    QObject::connect(list, &QAbstractItemModel::rowsInserted, list, [](const QModelIndex&, int first, int last) {
        qInfo().noquote() << QStringLiteral("tile-stats layouts rows=%1-%2").arg(first).arg(last);
    });
}

// Polls until the first window exists, then places it once.
void placeWindowWhenShown(const QRect& geometry)
{
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, geometry] {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (QWindow* window : windows) {
            if (qobject_cast<QQuickWindow*>(window) && window->isVisible()) {
                window->setGeometry(geometry);
                qInfo() << "Window placed at" << geometry;
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start();
}

void startDiagnostics(const std::function<LayoutList*()>& layouts)
{
    // Runs once the event loop starts, when the application object is complete.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;

    bool ok = false;
    const int intervalMs = qEnvironmentVariableIntValue("STATION_TILE_STATS_MS", &ok);
    if (ok && intervalMs > 0) {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(intervalMs);
        QObject::connect(timer, &QTimer::timeout, &logTileStats);
        timer->start();
        logLayoutListing(layouts);
        qInfo() << "Tile statistics every" << intervalMs << "ms";
    } else if (qEnvironmentVariableIsSet("STATION_TILE_STATS_MS")) {
        qWarning() << "STATION_TILE_STATS_MS is not a positive number of milliseconds; no tile statistics";
    }

    if (qEnvironmentVariableIsSet("STATION_WINDOW_GEOMETRY")) {
        const QString text = qEnvironmentVariable("STATION_WINDOW_GEOMETRY");
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)\\+(\\d+)\\+(\\d+)$")).match(text);
        if (match.hasMatch() && match.captured(1).toInt() > 0 && match.captured(2).toInt() > 0) {
            placeWindowWhenShown(QRect(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
                                       match.captured(2).toInt()));
        } else {
            qWarning() << "STATION_WINDOW_GEOMETRY is not of the form WxH+X+Y:" << text;
        }
    }
}

} // namespace

void installTileDiagnostics(std::function<LayoutList*()> layouts)
{
    if (!qEnvironmentVariableIsSet("STATION_TILE_STATS_MS") && !qEnvironmentVariableIsSet("STATION_WINDOW_GEOMETRY"))
        return;
    // Once the event loop runs: by then the window and the controller exist.
    QTimer::singleShot(0, QCoreApplication::instance(), [layouts] { startDiagnostics(layouts); });
}
