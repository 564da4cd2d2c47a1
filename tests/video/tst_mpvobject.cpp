// SPDX-License-Identifier: MIT
// The video item in a real Qt Quick window, playing libmpv's synthetic sources. The drawing cases
// run again under the other render loop and drawing paths (the test registration sets
// QSG_RENDER_LOOP and the others and names the cases); the rest once.
#include <memory>

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickView>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

#include "mpvcorepool.h"
#include "mpvobject.h"
#include "videotypes.h"

namespace {

const QString finiteClip = QStringLiteral("av://lavfi:testsrc2=size=320x240:rate=25:duration=1");
const QString endlessClip = QStringLiteral("av://lavfi:testsrc2=size=320x240:rate=25");
// Red above, blue below: shows both that real pixels arrive and which way up they are.
const QString splitClip =
    QStringLiteral("av://lavfi:color=c=red:size=320x240:rate=25,drawbox=x=0:y=120:w=320:h=120:color=blue:t=fill");

int waitMs()
{
    return 15000;
}

bool isRedPixel(QRgb c)
{
    return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80;
}

bool isBluePixel(QRgb c)
{
    return qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80;
}

} // namespace

class TestMpvObject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void registeredInQml();
    void finiteSourcePlaysThrough();
    void endReasons_data();
    void endReasons();
    void videoReachesTheWindow();
    void playingStateChangesOnlyOnRealChanges();
    void playOnIdleCore();
    void playRestartsAnEndedFile();
    void presentedFramesFollowPlayback();
    void audioStaysOffOnceRemoved();
    void deletedFromItsOwnSignal();
    void survivesHideAndShow();
    void windowGoesFirst();
    void createAndDestroyManyTimes();
    void loadBeforeTheFirstFramePlays();
    void coreMadeAheadOfTimePlays();
    void coreRunsNoScriptsOfItsOwn();
    void snapshotAtTheStreamsOwnSize();
    void holdAcrossALoadKeepsTheOldPicture();
    void propertiesWithoutAReaderAreObservedFromTheFirst();

private:
    MpvObject* createItem(const QString& qml = QStringLiteral("import Native 1.0\nMpvObject { }"));
    // Waits until the item has drawn at least once, so that its render context exists.
    bool waitForFrame();

    std::unique_ptr<QQuickView> m_view;
    // Changed before each wait for a frame: a window whose scene did not change draws none.
    QQuickItem* m_ticker = nullptr;
    int m_frames = 0;
};

void TestMpvObject::initTestCase()
{
    registerVideoTypes();
    // libmpv refuses to start under any other numeric locale; the program's main sets it too.
    setlocale(LC_NUMERIC, "C");
    qInfo() << "render loop:" << qgetenv("QSG_RENDER_LOOP");
}

void TestMpvObject::init()
{
    m_view = std::make_unique<QQuickView>();
    m_view->resize(320, 240);
    // frameSwapped comes from the render thread under the threaded loop: count it on this one.
    connect(
        m_view.get(), &QQuickWindow::frameSwapped, this, [this] { ++m_frames; }, Qt::QueuedConnection);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QQmlComponent ticker(m_view->engine());
    ticker.setData("import QtQuick 2.15\nRectangle { width: 1; height: 1; color: \"black\" }", QUrl());
    m_ticker = qobject_cast<QQuickItem*>(ticker.create());
    QVERIFY2(m_ticker, qPrintable(ticker.errorString()));
    m_ticker->setParent(m_view.get());
    m_ticker->setParentItem(m_view->contentItem());
}

void TestMpvObject::cleanup()
{
    m_view.reset();
}

MpvObject* TestMpvObject::createItem(const QString& qml)
{
    QQmlComponent component(m_view->engine());
    component.setData(qml.toUtf8(), QUrl());
    QObject* object = component.create();
    if (!object) {
        qWarning() << component.errorString();
        return nullptr;
    }
    auto* item = qobject_cast<MpvObject*>(object);
    if (!item) {
        delete object;
        return nullptr;
    }
    item->setParentItem(m_view->contentItem());
    item->setSize(QSizeF(320, 240));
    return item;
}

bool TestMpvObject::waitForFrame()
{
    // The second frame from now is sure to hold the item's latest state. A scene that did not
    // change draws no frame at all, so each of the two gets a change of its own.
    QElapsedTimer timer;
    timer.start();
    for (int frame = 0; frame < 2; ++frame) {
        const int target = m_frames + 1;
        const bool black = m_ticker->property("color").value<QColor>() == Qt::black;
        m_ticker->setProperty("color", QColor(black ? Qt::white : Qt::black));
        if (!QTest::qWaitFor([&] { return m_frames >= target; }, qMax(0, waitMs() - int(timer.elapsed()))))
            return false;
    }
    return true;
}

void TestMpvObject::registeredInQml()
{
    MpvObject* item = createItem(QStringLiteral("import Native 1.0\nMpvObject { enableAudio: false }"));
    QVERIFY2(item, "MpvObject is creatable from Native 1.0");
    QVERIFY(item->core());
    QCOMPARE(item->property("enableAudio").toBool(), false);
    QCOMPARE(item->idle(), true);
    QCOMPARE(item->isPlaying(), false);
    // Cached until the first change event.
    QCOMPARE(item->duration(), 0.0);
    QCOMPARE(item->position(), 0.0);
    QCOMPARE(item->playlistCount(), 0);
    QCOMPARE(item->getPlaylistFilename(3), QString());
    delete item;
}

void TestMpvObject::finiteSourcePlaysThrough()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());

    QStringList order;
    connect(item, &MpvObject::fileStarted, this, [&] { order << QStringLiteral("started"); });
    connect(item, &MpvObject::fileLoaded, this, [&] { order << QStringLiteral("loaded"); });
    connect(item, &MpvObject::fileEnded, this,
            [&](const QString& reason) { order << QStringLiteral("ended ") + reason; });
    QSignalSpy durations(item, &MpvObject::durationChanged);
    QSignalSpy widths(item, &MpvObject::dwidthChanged);
    QSignalSpy paths(item, &MpvObject::pathChanged);

    item->loadFile(finiteClip);
    QTRY_VERIFY_WITH_TIMEOUT(order.contains(QStringLiteral("loaded")), waitMs());
    QTRY_COMPARE_WITH_TIMEOUT(item->dwidth(), 320, waitMs());
    QCOMPARE(item->dheight(), 240);
    QCOMPARE(item->path(), finiteClip);
    QTRY_VERIFY_WITH_TIMEOUT(!paths.isEmpty() && paths.last().at(0).toString() == finiteClip, waitMs());
    QTRY_VERIFY_WITH_TIMEOUT(!widths.isEmpty() && widths.last().at(0).toInt() == 320, waitMs());
    QTRY_VERIFY_WITH_TIMEOUT(item->isPlaying(), waitMs());

    QTRY_VERIFY_WITH_TIMEOUT(order.size() == 3, waitMs());
    QCOMPARE(order, (QStringList{"started", "loaded", "ended eof"}));

    // libmpv drops "duration" once the file is gone; the item keeps the last value it saw.
    QVERIFY(!durations.isEmpty());
    QCOMPARE(durations.last().at(0).toDouble(), item->duration());
    QVERIFY2(qAbs(item->duration() - 1.0) < 0.2, qPrintable(QString::number(item->duration())));
    QTRY_VERIFY_WITH_TIMEOUT(!item->getProperty(QStringLiteral("duration")).isValid(), waitMs());
    QVERIFY(qAbs(item->duration() - 1.0) < 0.2);
    QVERIFY(item->position() > 0.5);
    // What else libmpv no longer has reads as unavailable, as a read of the core would.
    QTRY_COMPARE_WITH_TIMEOUT(item->dwidth(), 0, waitMs());
    QTRY_COMPARE_WITH_TIMEOUT(item->path(), QString(), waitMs());
    QTRY_VERIFY_WITH_TIMEOUT(!item->isPlaying(), waitMs());
    delete item;
}

void TestMpvObject::presentedFramesFollowPlayback()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QCOMPARE(item->presentedFrames(), 0);
    QSignalSpy frames(item, &MpvObject::presentedFramesChanged);

    item->loadFile(endlessClip);
    QTRY_VERIFY_WITH_TIMEOUT(item->presentedFrames() >= 10, waitMs());
    QCOMPARE(frames.last().at(0).toInt(), item->presentedFrames());

    // A paused stream presents nothing new: the count stands still.
    item->pause();
    QTRY_VERIFY_WITH_TIMEOUT(item->paused(), waitMs());
    // Frames decoded before the pause may still land: wait until the count has stood still for
    // a while, then prove that it stays so.
    const int stillFor = 300;
    int whilePaused = item->presentedFrames();
    QElapsedTimer still;
    still.start();
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (item->presentedFrames() != whilePaused) {
                whilePaused = item->presentedFrames();
                still.restart();
            }
            return still.elapsed() >= stillFor;
        },
        waitMs()));
    const int pausedShowsNothingNewFor = 500;
    QTest::qWait(pausedShowsNothingNewFor);
    QCOMPARE(item->presentedFrames(), whilePaused);

    item->play();
    QTRY_VERIFY_WITH_TIMEOUT(item->presentedFrames() >= whilePaused + 5, waitMs());

    // Loading anew keeps counting from where it was: the count only ever grows.
    const int beforeReload = item->presentedFrames();
    item->loadFile(endlessClip);
    QTRY_VERIFY_WITH_TIMEOUT(item->presentedFrames() >= beforeReload + 5, waitMs());
    delete item;
}

void TestMpvObject::endReasons_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("reason");
    QTest::newRow("played to the end") << "none"
                                       << "eof";
    QTest::newRow("stopped") << "stop"
                             << "stop";
    QTest::newRow("missing file") << "missing"
                                  << "error";
}

void TestMpvObject::endReasons()
{
    QFETCH(QString, action);
    QFETCH(QString, reason);
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy ended(item, &MpvObject::fileEnded);
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    if (action == QLatin1String("missing")) {
        item->loadFile(QStringLiteral("/nonexistent/recorder-%1.mp4").arg(QCoreApplication::applicationPid()));
    } else if (action == QLatin1String("stop")) {
        item->loadFile(endlessClip);
        QVERIFY(loaded.wait(waitMs()));
        item->command(QVariantList{QStringLiteral("stop")});
    } else {
        item->loadFile(finiteClip);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, waitMs());
    QCOMPARE(ended.at(0).at(0).toString(), reason);
    delete item;
}

void TestMpvObject::videoReachesTheWindow()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    item->loadFile(splitClip);
    QVERIFY(loaded.wait(waitMs()));

    auto isRed = [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80; };
    auto isBlue = [](QRgb c) { return qBlue(c) > 180 && qRed(c) < 80 && qGreen(c) < 80; };
    QImage image;
    QTRY_VERIFY_WITH_TIMEOUT((image = m_view->grabWindow(), isRed(image.pixel(160, 60))), waitMs());
    const QPoint top(image.width() / 2, image.height() / 4);
    const QPoint bottom(image.width() / 2, image.height() * 3 / 4);
    QVERIFY2(isRed(image.pixel(top)), qPrintable(QColor(image.pixel(top)).name()));
    QVERIFY2(isBlue(image.pixel(bottom)), qPrintable(QColor(image.pixel(bottom)).name()));
    delete item;
}

void TestMpvObject::playingStateChangesOnlyOnRealChanges()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    item->loadFile(endlessClip);
    QTRY_VERIFY_WITH_TIMEOUT(item->isPlaying(), waitMs());

    QSignalSpy playing(item, &MpvObject::isPlayingChanged);
    QSignalSpy paused(item, &MpvObject::pausedChanged);
    item->set_paused(true);
    item->set_paused(true);
    QTRY_VERIFY_WITH_TIMEOUT(!item->isPlaying(), waitMs());
    QCOMPARE(playing.count(), 1);
    QCOMPARE(playing.at(0).at(0).toBool(), false);
    // Recomputing without a change emits nothing.
    item->updateState();
    item->pause();
    QCOMPARE(playing.count(), 1);
    QVERIFY(item->paused());

    // playPause while paused plays.
    item->playPause();
    QTRY_VERIFY_WITH_TIMEOUT(item->isPlaying(), waitMs());
    QCOMPARE(playing.count(), 2);
    QCOMPARE(playing.at(1).at(0).toBool(), true);
    item->playPause();
    QTRY_VERIFY_WITH_TIMEOUT(item->paused(), waitMs());
    QTRY_COMPARE_WITH_TIMEOUT(playing.count(), 3, waitMs());
    QVERIFY(paused.count() >= 3);
    delete item;
}

void TestMpvObject::playOnIdleCore()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy started(item, &MpvObject::fileStarted);

    // No playlist: play only unpauses.
    item->set_paused(true);
    QTRY_VERIFY_WITH_TIMEOUT(item->paused(), waitMs());
    item->play();
    QTRY_VERIFY_WITH_TIMEOUT(!item->paused(), waitMs());
    QVERIFY(item->idle());
    QCOMPARE(item->playlistCount(), 0);
    QCOMPARE(item->isPlaying(), false);

    // An entry waiting in the playlist: play starts it.
    item->command(QVariantList{QStringLiteral("loadfile"), finiteClip, QStringLiteral("append")});
    QTRY_COMPARE_WITH_TIMEOUT(item->playlistCount(), 1, waitMs());
    QVERIFY(item->idle());
    QCOMPARE(started.count(), 0);
    item->play();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, waitMs());
    QTRY_VERIFY_WITH_TIMEOUT(item->isPlaying(), waitMs());
    QCOMPARE(item->getPlaylistFilename(0), finiteClip);
    delete item;
}

void TestMpvObject::playRestartsAnEndedFile()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy started(item, &MpvObject::fileStarted);
    QSignalSpy ended(item, &MpvObject::fileEnded);
    item->loadFile(finiteClip);
    QVERIFY(ended.wait(waitMs()));
    QTRY_VERIFY_WITH_TIMEOUT(item->idle(), waitMs());
    QCOMPARE(started.count(), 1);
    item->play();
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 2, waitMs());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, waitMs());
    QCOMPARE(ended.at(1).at(0).toString(), QStringLiteral("eof"));
    delete item;
}

void TestMpvObject::audioStaysOffOnceRemoved()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QSignalSpy changed(item, &MpvObject::enableAudioChanged);
    auto audioOutput = [item] {
        const QVariantList outputs = item->getProperty(QStringLiteral("ao")).toList();
        return outputs.isEmpty() ? QString() : outputs.first().toMap().value(QStringLiteral("name")).toString();
    };
    QCOMPARE(audioOutput(), QString());
    item->setEnableAudio(false);
    QCOMPARE(audioOutput(), QStringLiteral("null"));
    item->setEnableAudio(true);
    QVERIFY(item->enableAudio());
    QCOMPARE(audioOutput(), QStringLiteral("null"));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(0).toBool(), false);
    QCOMPARE(changed.at(1).at(0).toBool(), true);
    delete item;
}

void TestMpvObject::deletedFromItsOwnSignal()
{
    // Layout changes may drop a tile from a handler of its own signal, with more events queued.
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    const std::weak_ptr<mpv_handle> core = item->core();
    bool deleted = false;
    connect(item, &MpvObject::fileLoaded, this, [&deleted, item] {
        delete item;
        deleted = true;
    });
    item->loadFile(endlessClip);
    QTRY_VERIFY_WITH_TIMEOUT(deleted, waitMs());
    m_view->update();
    QTRY_VERIFY_WITH_TIMEOUT(core.expired(), waitMs());
}

void TestMpvObject::survivesHideAndShow()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    item->loadFile(splitClip);
    QVERIFY(loaded.wait(waitMs()));
    auto shown = [this] { return qRed(m_view->grabWindow().pixel(160, 60)) > 180; };
    QTRY_VERIFY_WITH_TIMEOUT(shown(), waitMs());
    const std::weak_ptr<mpv_handle> core = item->core();

    // The window keeps its context and scene graph, so the renderer and its context live on.
    m_view->hide();
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->isExposed(), waitMs());
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    QVERIFY(m_view->isPersistentOpenGLContext());
    QVERIFY(m_view->isPersistentSceneGraph());
    QTRY_VERIFY_WITH_TIMEOUT(shown(), waitMs());
    QCOMPARE(item->dwidth(), 320);
    delete item;
    m_view->update();
    QTRY_VERIFY_WITH_TIMEOUT(core.expired(), waitMs());
}

void TestMpvObject::windowGoesFirst()
{
    // The window goes while its item plays: the renderer goes with the scene graph and lets its
    // share of the core go; the item, owned elsewhere, lives on without a window.
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    item->loadFile(endlessClip);
    QVERIFY(loaded.wait(waitMs()));
    QVERIFY(waitForFrame());
    const std::weak_ptr<mpv_handle> core = item->core();
    QCOMPARE(core.use_count(), 2);
    m_view.reset();
    QCOMPARE(item->window(), nullptr);
    // Drawn in software, the item keeps its frames' share: they do not depend on the window.
    const long shares = item->renderMode() == QLatin1String("software") ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(core.use_count(), shares, waitMs());
    delete item;
    QTRY_VERIFY_WITH_TIMEOUT(core.expired(), waitMs());
}

void TestMpvObject::createAndDestroyManyTimes()
{
    // Items go at every stage: before any renderer, with a renderer but no file, and playing.
    // The core must go too, whichever of item and renderer lets it go last.
    for (int i = 0; i < 100; ++i) {
        MpvObject* item = createItem();
        QVERIFY(item);
        std::weak_ptr<mpv_handle> core = item->core();
        QVERIFY(!core.expired());
        switch (i % 4) {
        case 0:
            break;
        case 1:
            QVERIFY(waitForFrame());
            break;
        case 2: {
            // Loaded before the first frame: libmpv may find no render context yet and end the
            // file with an error; either way the item must go cleanly.
            QSignalSpy loaded(item, &MpvObject::fileLoaded);
            QSignalSpy ended(item, &MpvObject::fileEnded);
            item->loadFile(endlessClip);
            QTRY_VERIFY2_WITH_TIMEOUT(!loaded.isEmpty() || !ended.isEmpty(),
                                      qPrintable(QStringLiteral("item %1 opens its file").arg(i)), waitMs());
            break;
        }
        default: {
            QVERIFY(waitForFrame());
            QSignalSpy loaded(item, &MpvObject::fileLoaded);
            item->loadFile(finiteClip);
            QVERIFY2(loaded.wait(waitMs()), qPrintable(QStringLiteral("item %1 loads its file").arg(i)));
            QVERIFY(waitForFrame());
            break;
        }
        }
        delete item;
        // The renderer, if any, goes with the next sync of the scene graph.
        m_view->update();
        QTRY_VERIFY2_WITH_TIMEOUT(core.expired(), qPrintable(QStringLiteral("core of item %1 released").arg(i)),
                                  waitMs());
    }
    // Every core is destroyed in the end, none leaks.
    QTRY_COMPARE_WITH_TIMEOUT(MpvObject::coreCount(), 0, waitMs());
}

void TestMpvObject::loadBeforeTheFirstFramePlays()
{
    // A load before the window has drawn the item (on a cold machine the first frame can take a
    // while): the video output must not fail for want of a render context. The item is put into
    // the window only after an unheld load would long have failed.
    const int unheldLoadFailsWithinMs = 2000;
    MpvObject* item = createItem();
    QVERIFY(item);
    item->setParentItem(nullptr);
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    QSignalSpy ended(item, &MpvObject::fileEnded);
    item->loadFile(endlessClip);
    QVERIFY2(!ended.wait(unheldLoadFailsWithinMs),
             qPrintable(QStringLiteral("the stream ended: %1").arg(ended.value(0).value(0).toString())));
    item->setParentItem(m_view->contentItem());
    QTRY_VERIFY_WITH_TIMEOUT(item->presentedFrames() >= 3 || !ended.isEmpty(), waitMs());
    QVERIFY2(ended.isEmpty(),
             qPrintable(QStringLiteral("the stream ended: %1").arg(ended.value(0).value(0).toString())));
    QCOMPARE(loaded.count(), 1);
    delete item;
}

void TestMpvObject::coreRunsNoScriptsOfItsOwn()
{
    // The player's built-in scripts each run an interpreter on a thread of its own, per core; a
    // wall of tiles would pay for sixteen consoles nobody opens.
    auto scriptThreads = [] {
        int count = 0;
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().contains("script"))
                ++count;
        }
        return count;
    };
    if (!QDir(QStringLiteral("/proc/self/task")).exists())
        QSKIP("threads are listed in /proc on Linux only");
    const int before = scriptThreads();
    PreparedCore prepared = MpvObject::prepareCore(true);
    QVERIFY(prepared.core);
    // Scripts start with the core; give one that was wrongly started a moment to name its thread.
    QTest::qWait(300);
    QCOMPARE(scriptThreads(), before);
}

void TestMpvObject::coreMadeAheadOfTimePlays()
{
    // A core made on the pool's worker thread, properties observed and render context made there,
    // must serve an item as one made by the item itself: its events reach the item, its frames the
    // window.
    MpvCorePool& pool = MpvCorePool::instance();
    const auto restore = qScopeGuard([&pool] {
        pool.setCapacity(0);
        pool.setRefillDelay(MpvCorePool::DefaultRefillDelayMs);
    });
    QSignalSpy refilled(&pool, &MpvCorePool::refilled);
    pool.setRefillDelay(0);
    pool.setCapacity(2);

    MpvObject* first = createItem();
    QVERIFY(first);
    QTRY_VERIFY_WITH_TIMEOUT(pool.readyCount() == 1, waitMs());
    const int coresBefore = MpvObject::coreCount();

    MpvObject* item = createItem();
    QVERIFY(item);
    QCOMPARE(MpvObject::coreCount(), coresBefore); // taken, not made
    QVERIFY(waitForFrame());
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    item->loadFile(splitClip);
    QVERIFY(loaded.wait(waitMs()));
    QTRY_COMPARE_WITH_TIMEOUT(item->dwidth(), 320, waitMs());
    auto isRed = [](QRgb c) { return qRed(c) > 180 && qGreen(c) < 80 && qBlue(c) < 80; };
    QImage image;
    QTRY_VERIFY_WITH_TIMEOUT((image = m_view->grabWindow(), isRed(image.pixel(160, 60))), waitMs());

    // Two items, two cores kept ready for the next two.
    QTRY_VERIFY_WITH_TIMEOUT(pool.readyCount() == 2, waitMs());
    delete item;
    delete first;
    pool.setCapacity(0);
    QCOMPARE(pool.readyCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(MpvObject::coreCount(), 0, waitMs());
}

void TestMpvObject::snapshotAtTheStreamsOwnSize()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    MpvObject* item = createItem();
    QVERIFY(item);
    item->setSize(QSizeF(160, 120)); // half the stream's size
    QSignalSpy saved(item, &MpvObject::snapshotSaved);
    QSignalSpy failed(item, &MpvObject::snapshotFailed);

    // Nothing shown yet: nothing to save, and it says so.
    item->saveSnapshot(QStringLiteral("Cam 1"), folder.path());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.takeFirst().at(1).toString(), QStringLiteral("no picture yet"));

    QVERIFY(waitForFrame());
    item->loadFile(endlessClip);
    QTRY_COMPARE_WITH_TIMEOUT(item->dwidth(), 320, waitMs());
    item->saveSnapshot(QStringLiteral("Cam 1"), folder.filePath(QStringLiteral("new/folder")));
    QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, waitMs());
    const QString path = saved.first().first().toString();
    QVERIFY2(path.startsWith(folder.filePath(QStringLiteral("new/folder/Cam 1 "))) && path.endsWith(".png"),
             qPrintable(path));
    const QImage image(path);
    QCOMPARE(image.size(), QSize(320, 240));

    // A folder that cannot be made: the reason, and no file anywhere.
    const QString blocker = folder.filePath(QStringLiteral("a file"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    item->saveSnapshot(QStringLiteral("Cam 1"), blocker + QStringLiteral("/below"));
    QCOMPARE(failed.count(), 1);
    QVERIFY2(failed.first().at(1).toString().contains(QLatin1String("cannot make the folder")),
             qPrintable(failed.first().at(1).toString()));
    QCOMPARE(saved.count(), 1);
    delete item;
}

QTEST_MAIN(TestMpvObject)
#include "tst_mpvobject.moc"

void TestMpvObject::holdAcrossALoadKeepsTheOldPicture()
{
    // A tile that changes streams holds its picture and loads the next stream at once. A frame
    // that was on its way to the screen when the hold began, drawn only after the old stream had
    // stopped, is a picture of no stream at all: it must not show. Slow frames make that likely.
    const int slowFrameMs = 150;
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    QSignalSpy loaded(item, &MpvObject::fileLoaded);
    item->loadFile(QStringLiteral("av://lavfi:color=c=red:size=320x240:rate=25"));
    QVERIFY(loaded.wait(waitMs()));
    QImage image;
    QTRY_VERIFY_WITH_TIMEOUT((image = m_view->grabWindow(), isRedPixel(image.pixel(160, 120))), waitMs());

    MpvObject::setRenderDelayForTesting(slowFrameMs);
    const auto restore = qScopeGuard([] { MpvObject::setRenderDelayForTesting(0); });
    // Let a slow frame get under way.
    QTest::qWait(slowFrameMs / 2);
    item->setHoldPicture(true);
    loaded.clear();
    item->loadFile(QStringLiteral("av://lavfi:color=c=blue:size=320x240:rate=25"));
    // Released as a tile releases it: once the new stream's playback has started.
    bool newFileLoaded = false;
    connect(item, &MpvObject::fileLoaded, item, [&newFileLoaded] { newFileLoaded = true; });
    connect(item, &MpvObject::playbackRestarted, item, [item, &newFileLoaded] {
        if (newFileLoaded)
            item->setHoldPicture(false);
    });
    QElapsedTimer timer;
    timer.start();
    int samples = 0;
    while (timer.elapsed() < waitMs()) {
        image = m_view->grabWindow();
        const QRgb centre = image.pixel(160, 120);
        ++samples;
        QVERIFY2(isRedPixel(centre) || isBluePixel(centre),
                 qPrintable(QStringLiteral("sample %1 shows %2").arg(samples).arg(QColor(centre).name())));
        if (isBluePixel(centre))
            break;
        QTest::qWait(10);
    }
    QVERIFY2(isBluePixel(image.pixel(160, 120)), "the new stream shows in the end");
    delete item;
}

void TestMpvObject::propertiesWithoutAReaderAreObservedFromTheFirst()
{
    MpvObject* item = createItem();
    QVERIFY(item);
    QVERIFY(waitForFrame());
    // A connection to the change signal is a reader, as a QML binding is: the value arrives.
    QSignalSpy titles(item, &MpvObject::mediaTitleChanged);
    item->loadFile(endlessClip);
    QTRY_VERIFY_WITH_TIMEOUT(!titles.isEmpty() && !titles.last().at(0).toString().isEmpty(), waitMs());
    QCOMPARE(item->mediaTitle(), item->getProperty(QStringLiteral("media-title")).toString());

    // So is a read of the getter, even long after the file started.
    QTRY_VERIFY_WITH_TIMEOUT(item->presentedFrames() >= 5, waitMs());
    const QString codec = item->getProperty(QStringLiteral("video-codec")).toString();
    QVERIFY(!codec.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(item->videoCodec(), codec, waitMs());
    delete item;
}
