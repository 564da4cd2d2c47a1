// SPDX-License-Identifier: MIT
#include "tilestats.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QVariant>
#include <QWindow>

#include "diagnosticslog.h"
#include "layoutlist.h"
#include "tilestatsrecord.h"

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

qint64 numberProperty(const QObject* object, const char* name)
{
    return object->property(name).toLongLong();
}

// The recorded page's time bar, by its object name: it lives in a library this one does not link.
QQuickItem* findTimeline(QQuickItem* item)
{
    if (item->objectName() == QLatin1String("timeline") && item->isVisible())
        return item;
    const QList<QQuickItem*> children = item->childItems();
    for (QQuickItem* child : children) {
        if (QQuickItem* found = findTimeline(child))
            return found;
    }
    return nullptr;
}

QQuickItem* timelineItem()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        if (auto* quick = qobject_cast<QQuickWindow*>(window)) {
            if (QQuickItem* found = findTimeline(quick->contentItem()))
                return found;
        }
    }
    return nullptr;
}

// In device pixels, in its window, as the tiles' rectangles are.
QRect windowRectOf(const QQuickItem* item)
{
    const qreal ratio = item->window() ? item->window()->effectiveDevicePixelRatio() : 1.0;
    const QRectF scene = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    return QRect(qRound(scene.x() * ratio), qRound(scene.y() * ratio), qRound(scene.width() * ratio),
                 qRound(scene.height() * ratio));
}

// The monotonic clock, in the same terms as the "%{time boot}" of a message pattern.
qint64 monotonicMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

TileSample sampleOf(QQuickItem* item, int index)
{
    const qreal ratio = item->window() ? item->window()->effectiveDevicePixelRatio() : 1.0;
    TileSample sample;
    sample.index = index;
    sample.size = QSize(qRound(item->width() * ratio), qRound(item->height() * ratio));
    sample.video = QSize(int(numberProperty(item, "dwidth")), int(numberProperty(item, "dheight")));
    sample.loaded = numberProperty(item, "playlistCount") >= 1 && sample.video.width() > 0 && sample.video.height() > 0;
    // An estimate from the container's frame rate, which a live stream opened with a short probe
    // may not report (then it reads 0); the position always moves.
    sample.frame = numberProperty(item, "estimatedFrameNumber");
    sample.drop = numberProperty(item, "frameDropCount");
    sample.decdrop = numberProperty(item, "decoderFrameDropCount");
    sample.delayed = numberProperty(item, "voDelayedFrameCount");
    sample.pos = item->property("position").toDouble();
    sample.vffps = item->property("estimatedVfFps").toDouble();
    const QVariant presented = item->property("presentedFrames");
    sample.presented = presented.isValid() ? presented.toLongLong() : -1;
    const QVariant decode = item->property("decodeLevel");
    sample.decode = decode.isValid() ? decode.toInt() : -1;
    // Empty until the player has chosen a decoder for the stream.
    if (!item->property("hwdecCurrent").toString().isEmpty()) {
        const QString hardware = item->property("hardwareDecoder").toString();
        sample.hwdec = hardware.isEmpty() ? QStringLiteral("sw") : hardware;
    }
    // The player fits the video inside it.
    sample.rect = windowRectOf(item);
    sample.path = item->property("path").toString();
    return sample;
}

// Polls until the first window is shown, then places it once.
void placeWindowWhenShown(const QRect& geometry)
{
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, geometry] {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (QWindow* window : windows) {
            if (qobject_cast<QQuickWindow*>(window) && window->isVisible()) {
                window->setGeometry(geometry);
                qCInfo(lcDiagnostics) << "Window placed at" << geometry;
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start();
}

} // namespace

TileDiagnosticsSettings TileDiagnosticsSettings::fromEnvironment()
{
    TileDiagnosticsSettings settings;
    const bool intervalSet = qEnvironmentVariableIsSet("STATION_TILE_STATS_MS");
    const QString file = qEnvironmentVariable("STATION_TILE_STATS_FILE");
    if (intervalSet) {
        bool ok = false;
        const int intervalMs = qEnvironmentVariableIntValue("STATION_TILE_STATS_MS", &ok);
        if (!ok || intervalMs <= 0) {
            qCWarning(lcDiagnostics)
                << "STATION_TILE_STATS_MS is not a positive number of milliseconds; no tile statistics";
        } else if (file.isEmpty()) {
            // Never the log: its readers want the operator's lines, not a sample every few ms.
            qCWarning(lcDiagnostics) << "STATION_TILE_STATS_MS is set but STATION_TILE_STATS_FILE names no file; "
                                        "no tile statistics";
        } else {
            settings.statsIntervalMs = intervalMs;
            settings.statsFile = file;
        }
    } else if (!file.isEmpty()) {
        qCWarning(lcDiagnostics) << "STATION_TILE_STATS_FILE is set but STATION_TILE_STATS_MS is not; no tile "
                                    "statistics";
    }

    if (qEnvironmentVariableIsSet("STATION_WINDOW_GEOMETRY")) {
        const QString text = qEnvironmentVariable("STATION_WINDOW_GEOMETRY");
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)\\+(\\d+)\\+(\\d+)$")).match(text);
        const QRect geometry = match.hasMatch() ? QRect(match.captured(3).toInt(), match.captured(4).toInt(),
                                                        match.captured(1).toInt(), match.captured(2).toInt())
                                                : QRect();
        if (geometry.width() > 0 && geometry.height() > 0)
            settings.windowGeometry = geometry;
        else
            qCWarning(lcDiagnostics) << "STATION_WINDOW_GEOMETRY is not of the form WxH+X+Y:" << text;
    }
    return settings;
}

TileStats::TileStats(const QString& filePath, int intervalMs, QObject* parent) : QObject(parent), m_file(filePath)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &TileStats::sample);
}

TileStats::~TileStats() = default;

bool TileStats::start()
{
    // Made anew: lines of an earlier run would pass for this one's.
    QDir().mkpath(QFileInfo(m_file.fileName()).absolutePath());
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcDiagnostics) << "Cannot write the tile statistics to" << m_file.fileName() << ":"
                                 << m_file.errorString() << "; no tile statistics";
        return false;
    }
    m_timer.start();
    qCInfo(lcDiagnostics) << "Tile statistics every" << m_timer.interval() << "ms to" << m_file.fileName();
    return true;
}

void TileStats::watchLayouts(LayoutList* list)
{
    if (!list)
        return;
    // The layout list is filled right after the layouts went to the remote interface: its rows
    // mark that moment.
    connect(list, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        write(TileStatsRecord::layoutsLine(monotonicMs(), first, last));
    });
}

void TileStats::sample()
{
    if (!m_file.isOpen())
        return;
    const QList<QQuickItem*> items = videoItems();
    TileStatsTick tick;
    tick.number = ++m_tick;
    tick.ms = monotonicMs();
    tick.tiles = items.size();
    // Where the window is on the screen, so that a tile's place in it gives its place there.
    const QWindow* window = items.isEmpty() ? nullptr : items.first()->window();
    tick.window = window ? window->geometry() : QRect(0, 0, 0, 0);
    int index = 0;
    for (QQuickItem* item : items)
        tick.samples.push_back(sampleOf(item, index++));
    QString text = TileStatsRecord::lines(tick);
    if (const QQuickItem* timeline = timelineItem()) {
        TimelineSample bar;
        bar.ms = tick.ms;
        bar.rect = windowRectOf(timeline);
        bar.viewStart = timeline->property("viewStart").toLongLong();
        bar.viewEnd = timeline->property("viewEnd").toLongLong();
        text += TileStatsRecord::timelineLine(bar);
    }
    write(text);
}

void TileStats::write(const QString& text)
{
    if (!m_file.isOpen())
        return;
    // A sample in one write, at once: the reader follows the file as it grows.
    const QByteArray bytes = text.toUtf8();
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        qCWarning(lcDiagnostics) << "Cannot write the tile statistics to" << m_file.fileName() << ":"
                                 << m_file.errorString() << "; no more tile statistics";
        m_timer.stop();
        m_file.close();
    }
}

void installTileDiagnostics(std::function<LayoutList*()> layouts)
{
    const TileDiagnosticsSettings settings = TileDiagnosticsSettings::fromEnvironment();
    if (settings.statsIntervalMs <= 0 && settings.windowGeometry.isNull())
        return;
    QTimer::singleShot(0, QCoreApplication::instance(), [settings, layouts] {
        // Only a GUI application has windows to look into.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return;
        if (settings.statsIntervalMs > 0) {
            auto* stats = new TileStats(settings.statsFile, settings.statsIntervalMs, QCoreApplication::instance());
            if (stats->start())
                stats->watchLayouts(layouts ? layouts() : nullptr);
            else
                stats->deleteLater();
        }
        if (!settings.windowGeometry.isNull())
            placeWindowWhenShown(settings.windowGeometry);
    });
}
