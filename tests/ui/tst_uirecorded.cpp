// SPDX-License-Identifier: MIT
// The recorded page in this process, against a simulated site: the companion's page switch, the
// chunks of a stream, a chunk fetched from the gateway and played with its POS lines at their
// times, and a chunk whose media the gateway does not have.
#include <QAbstractItemModel>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "clienttestmain.h"
#include "downloader.h"
#include "freeports.h"
#include "inprocessclient.h"
#include "simprocess.h"
#include "testfiles.h"

using namespace testsupport;

namespace {

// ClientPage::RECORDER, the first value of the interface's page enumeration.
constexpr int recorderPage = 0;
constexpr const char* chunkStart = "1714550400000";
constexpr const char* chunkEnd = "1714550410000";

// Stream 11 lives on the gateway. Stream 12 belongs to a device that is no gateway but whose
// address setting points at the gateway, which then knows neither its POS text nor its media.
QByteArray recordedSite()
{
    return R"({
    "name": "recorded",
    "pos": {"rate": 0, "seed": 3},
    "objects": [
        {"id": 1, "name": "Site", "type": 7},
        {"id": 2, "name": "operator", "type": 1, "parent": 1, "password": "secret"},
        {"id": 10, "name": "Gateway", "type": 2, "parent": 1, "className": "device.GATEWAY",
         "gateway": {}, "settings": {"address": "127.0.0.1"}},
        {"id": 11, "name": "Entrance", "type": 10, "parent": 10, "className": "stream.CAMERA"},
        {"id": 13, "name": "Old recorder", "type": 2, "parent": 1, "settings": {"address": "127.0.0.1"}},
        {"id": 12, "name": "Archive", "type": 10, "parent": 13, "className": "stream.CAMERA"},
        {"id": 20, "name": "Door sensor", "type": 8, "parent": 1, "className": "sensor.DOOR"}
    ],
    "layouts": {
        "Recorded": {"numRows": 1, "numCols": 3, "elements": [
            {"row": 0, "col": 0, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam 1",
             "deviceId": "10", "objectId": "11"},
            {"row": 0, "col": 1, "rowSpan": 1, "colSpan": 1, "type": "door", "label": "Door", "objectId": "20"},
            {"row": 0, "col": 2, "rowSpan": 1, "colSpan": 1, "type": "video", "label": "Cam 2",
             "deviceId": "13", "objectId": "12"}
        ]}
    },
    "recordings": [
        {"stream": 11,
         "chunks": [{"start": 1714550400000, "end": 1714550410000, "size": 600000},
                    {"start": 1714550410000, "end": 1714550420000, "size": 600000}],
         "pos": [{"time": 1714550401000, "text": "POS 11 first\nTOTAL 2.40"},
                 {"time": 1714550402500, "text": "POS 11 second"},
                 {"time": 1714550412000, "text": "POS 11 of the next chunk"}]},
        {"stream": 12, "chunks": [{"start": 1714550400000, "end": 1714550410000, "size": 600000}]}
    ]
})";
}

} // namespace

class TestUiRecorded : public QObject
{
    Q_OBJECT

private:
    QQuickItem* firstNamed(const QString& name) const { return m_client.firstNamed(name); }

    QQuickItem* page() const { return firstNamed(QStringLiteral("recordedPage")); }

    QObject* pageObject(const char* name) const { return page() ? page()->property(name).value<QObject*>() : nullptr; }

    QList<QQuickItem*> visibleRows(const QString& name) const
    {
        QList<QQuickItem*> rows;
        for (QQuickItem* row : itemsNamed(page(), name)) {
            if (row->isVisible())
                rows << row;
        }
        return rows;
    }

    QQuickItem* streamRow(const QString& text) const
    {
        for (QQuickItem* row : visibleRows(QStringLiteral("streamRow"))) {
            auto* label = row->property("contentItem").value<QQuickItem*>();
            if (label && label->property("text").toString() == text)
                return row;
        }
        return nullptr;
    }

    void click(QQuickItem* item) { clickCentre(item); }

    int chunkCount() const
    {
        QObject* chunks = pageObject("lstChunks");
        return chunks ? chunks->property("count").toInt() : -1;
    }

    QStringList posLines() const { return posLinesOf(pageObject("player")); }

    QObject* playerMpv() const
    {
        QObject* player = pageObject("player");
        QObject* backend = player ? player->property("backend").value<QObject*>() : nullptr;
        return backend ? backend->property("mpvObject").value<QObject*>() : nullptr;
    }

    bool invoke(const char* function, double ms)
    {
        return QMetaObject::invokeMethod(page(), function, Q_ARG(QVariant, QVariant(ms)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString sitePath = m_dir.filePath(QStringLiteral("site.json"));
        QVERIFY(writeFile(sitePath, recordedSite()));
        QVERIFY2(m_sim.start(sitePath, {QStringLiteral("--verbose")}), qPrintable(m_sim.output()));
        QVERIFY(m_client.load(m_sim.serverPort(), freePort()));
        // An operator's window: the player's controls in a row beside the lists.
        m_client.window()->resize(1280, 800);
    }

    void cleanupTestCase()
    {
        m_client.unload();
        m_sim.stop();
    }

    void companionSwitchesToTheRecordedPage()
    {
        QTRY_VERIFY2_WITH_TIMEOUT(firstNamed(QStringLiteral("mainPage")), qPrintable(m_sim.output()), 20000);
        QVERIFY2(m_client.listLayouts(1), "the client hosts its remote interface and lists its layouts");
        QVERIFY(m_client.applyLayout(QStringLiteral("Recorded")));
        QTRY_COMPARE_WITH_TIMEOUT(itemsNamed(firstNamed(QStringLiteral("layoutPage")), QStringLiteral("cell")).size(),
                                  3, 10000);

        m_client.replica()->jumpPage(recorderPage);
        QTRY_VERIFY_WITH_TIMEOUT(page(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!firstNamed(QStringLiteral("layoutPage")), 5000);
        // The simulator's gateway cannot take the fixed port on a shared machine.
        QVERIFY(page()->setProperty("gatewayPort", m_sim.gateway(10).http));
        // The day of the site's recordings; the page starts on today.
        QVERIFY(QMetaObject::invokeMethod(page(), "showDay", Q_ARG(QVariant, QVariant(double(1714550400000)))));

        QTRY_COMPARE_WITH_TIMEOUT(visibleRows(QStringLiteral("streamRow")).size(), 2, 5000);
        QVERIFY2(streamRow(QStringLiteral("Entrance")) && streamRow(QStringLiteral("Archive")),
                 "the layout's cameras are listed by their stream names");
    }

    void streamListsItsChunks()
    {
        QQuickItem* row = streamRow(QStringLiteral("Entrance"));
        QVERIFY(row);
        click(row);
        QCOMPARE(page()->property("strmId").toString(), QStringLiteral("11"));
        QTRY_COMPARE_WITH_TIMEOUT(chunkCount(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(visibleRows(QStringLiteral("chunkRow")).size(), 2, 5000);
    }

    void chunkPlaysWithItsPosLines()
    {
        auto* downloader = qobject_cast<Downloader*>(pageObject("downloader"));
        QObject* player = pageObject("player");
        QVERIFY(downloader && player);
        // When each POS line enters the player's list, from the end of the download on.
        auto* lines = player->property("posLines").value<QAbstractItemModel*>();
        QVERIFY(lines);
        QElapsedTimer sinceDownload;
        QHash<QString, qint64> shownAt;
        const QMetaObject::Connection timing =
            connect(downloader, &Downloader::finished, this, [&sinceDownload] { sinceDownload.start(); });
        const QMetaObject::Connection arrivals =
            connect(lines, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex&, int first, int last) {
                // A list model has its roles once it holds its first line.
                const int labelRole = lines->roleNames().key("label", -1);
                for (int row = first; row <= last; ++row)
                    shownAt.insert(lines->index(row, 0).data(labelRole).toString(),
                                   sinceDownload.isValid() ? sinceDownload.elapsed() : -1);
            });
        // The handlers hold this function's locals.
        const auto disconnectAll = qScopeGuard([&] {
            disconnect(timing);
            disconnect(arrivals);
        });
        QSignalSpy finished(downloader, &Downloader::finished);
        QSignalSpy failed(downloader, &Downloader::failed);

        click(visibleRows(QStringLiteral("chunkRow")).first());
        QCOMPARE(page()->property("startTime").toString(), QLatin1String(chunkStart));
        // The gateway makes the media on the first request.
        QVERIFY2(finished.count() == 1 || finished.wait(60000),
                 qPrintable(failed.isEmpty() ? m_sim.output().right(2000) : failed.first().first().toString()));
        QVERIFY(failed.isEmpty());
        const QString media =
            QStringLiteral("GET /11-%1-%2 -> 200").arg(QLatin1String(chunkStart), QLatin1String(chunkEnd));
        QTRY_VERIFY2_WITH_TIMEOUT(m_sim.output().contains(media), qPrintable(m_sim.output().right(2000)), 5000);
        QVERIFY2(m_sim.output().contains(QStringLiteral("GET /pos-data?strmId=11&from=%1&to=%2 -> 200")
                                             .arg(QLatin1String(chunkStart), QLatin1String(chunkEnd))),
                 qPrintable(m_sim.output().right(2000)));

        const QString file = downloader->property("filePath").toString();
        QVERIFY2(QFileInfo(file).size() > 0, qPrintable(file));

        // Due 500 ms and 2000 ms after the download: 500 ms ahead of their times in the chunk.
        QTRY_VERIFY_WITH_TIMEOUT(shownAt.contains(QStringLiteral("POS 11 second")), 8000);
        const qint64 firstAt = shownAt.value(QStringLiteral("POS 11 first"), -1);
        const qint64 secondAt = shownAt.value(QStringLiteral("POS 11 second"), -1);
        QVERIFY2(firstAt >= 400, qPrintable(QString::number(firstAt)));
        QVERIFY2(shownAt.value(QStringLiteral("TOTAL 2.40"), -1) >= firstAt, "a receipt's lines come together");
        QVERIFY2(secondAt - firstAt >= 1300, qPrintable(QString::number(secondAt - firstAt)));
        QVERIFY2(posLines().contains(QStringLiteral("POS 11 first")), qPrintable(posLines().join('|')));
        QVERIFY2(!shownAt.contains(QStringLiteral("POS 11 of the next chunk")), "only this chunk's lines");

        auto* backend = player->property("backend").value<QObject*>();
        QVERIFY(backend);
        QTRY_COMPARE_WITH_TIMEOUT(backend->property("filePath").toString(), file, 15000);
    }

    // Paused, the lines stay as they are however long the operator looks; a seek shows the lines
    // of the new moment, in the chunk that holds it.
    void posLinesFollowThePicture()
    {
        QObject* mpv = playerMpv();
        QVERIFY(mpv);
        QTRY_VERIFY_WITH_TIMEOUT(posLines().contains(QStringLiteral("POS 11 second")), 10000);
        mpv->setProperty("paused", true);
        QTRY_VERIFY(mpv->property("paused").toBool());
        const QStringList held = posLines();
        // Longer than the lines are held after the last receipt on a live tile.
        const int longerThanTheHold = 4000;
        QTest::qWait(longerThanTheHold);
        QCOMPARE(posLines(), held);

        QVERIFY(invoke("seekTo", 1714550412500.0));
        QTRY_COMPARE_WITH_TIMEOUT(page()->property("startTime").toString(), QStringLiteral("1714550410000"), 5000);
        QTRY_VERIFY2_WITH_TIMEOUT(posLines() == QStringList{QStringLiteral("POS 11 of the next chunk")},
                                  qPrintable(posLines().join('|')), 30000);
        QVERIFY2(mpv->property("paused").toBool(), "the player stays paused across the chunk change");
        const double position = page()->property("positionMs").toDouble();
        QVERIFY2(position >= 1714550412000.0 && position <= 1714550413000.0,
                 qPrintable(QString::number(position, 'f', 0)));
        mpv->setProperty("paused", false);
    }

    // At a chunk's end the next one plays on by itself; the list and the time bar follow.
    void nextChunkPlaysOn()
    {
        QVERIFY(invoke("seekTo", 1714550408000.0));
        QTRY_COMPARE_WITH_TIMEOUT(page()->property("startTime").toString(), QLatin1String(chunkStart), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(page()->property("positionMs").toDouble() >= 1714550408000.0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(page()->property("startTime").toString(), QStringLiteral("1714550410000"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(page()->property("positionMs").toDouble() > 1714550410000.0, 15000);
        QObject* timeline = pageObject("timeline");
        QVERIFY(timeline);
        QTRY_VERIFY(timeline->property("position").toDouble() > 1714550410000.0);
        QVERIFY2(m_sim.output().contains(QStringLiteral("GET /11-1714550410000-1714550420000 -> 200")),
                 "the next chunk came from the gateway");
    }

    // A POS search over the day plays from 5 s before the receipt with its line picked out.
    void searchPlaysTheReceipt()
    {
        QQuickItem* field = firstNamed(QStringLiteral("posSearchField"));
        QVERIFY(field);
        // The day's receipts come with the stream's choice.
        QTRY_COMPARE_WITH_TIMEOUT(pageObject("dayPos")->property("count").toInt(), 3, 10000);
        field->setProperty("text", QStringLiteral("NEXT chunk"));
        QTRY_COMPARE(visibleRows(QStringLiteral("posResultRow")).size(), 1);
        // The list shows as the search finds something: click once its row has its place.
        const int clickAgainAfterMs = 300;
        for (int attempt = 0; attempt < 10 && page()->property("markedLine").toString().isEmpty(); ++attempt) {
            click(visibleRows(QStringLiteral("posResultRow")).first());
            static_cast<void>(QTest::qWaitFor([&] { return !page()->property("markedLine").toString().isEmpty(); },
                                              clickAgainAfterMs));
        }
        QCOMPARE(page()->property("markedLine").toString(), QStringLiteral("POS 11 of the next chunk"));
        QTRY_COMPARE_WITH_TIMEOUT(page()->property("startTime").toString(), QLatin1String(chunkStart), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(page()->property("positionMs").toDouble() >= 1714550407000.0, 15000);
        QVERIFY2(page()->property("positionMs").toDouble() < 1714550410000.0, "from 5 s before, not from the start");
        field->setProperty("text", QString());
    }

    // The two chunks between two marks as one file, and the picture of a moment as PNG, both
    // named after the camera and the time.
    void exportAndSnapshot()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QVERIFY(page()->setProperty("markA", 1714550405000.0));
        QVERIFY(page()->setProperty("markB", 1714550415000.0));
        QVERIFY(firstNamed(QStringLiteral("exportFolder"))->setProperty("text", folder.path()));
        QObject* exporter = pageObject("exporter");
        QVERIFY(exporter);
        QSignalSpy finished(exporter, SIGNAL(finished(QString)));
        QSignalSpy failed(exporter, SIGNAL(failed(QString)));
        QVERIFY(QMetaObject::invokeMethod(page(), "exportVideo"));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() || !failed.isEmpty(), 60000);
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        const QString exported = finished.first().first().toString();
        QVERIFY2(QFileInfo(exported).fileName().startsWith(QLatin1String("Entrance 2024-05-01")), qPrintable(exported));
        QVERIFY(QFileInfo(exported).size() > 0);
        // The export and its manifest, which names where it came from.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2);
        QFile manifestFile(QFileInfo(exported).dir().filePath(QFileInfo(exported).completeBaseName() +
                                                              QStringLiteral(".manifest.json")));
        QVERIFY(manifestFile.open(QIODevice::ReadOnly));
        const QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
        QVERIFY2(manifest.value(QStringLiteral("server")).toString().endsWith(QString::number(m_sim.serverPort())),
                 qPrintable(manifest.value(QStringLiteral("server")).toString()));
        QVERIFY(!manifest.value(QStringLiteral("operator")).toString().isEmpty());
        QCOMPARE(manifest.value(QStringLiteral("files"))
                     .toArray()
                     .first()
                     .toObject()
                     .value(QStringLiteral("streamId"))
                     .toString(),
                 QStringLiteral("11"));
        QTRY_VERIFY(firstNamed(QStringLiteral("statusText"))->property("text").toString().contains(exported));
        QVERIFY(m_sim.output().contains(QStringLiteral("GET /11-1714550400000-1714550410000 -> 200")));

        QObject* player = pageObject("player");
        QVERIFY(player->setProperty("snapshotFolder", folder.path()));
        QTRY_VERIFY(page()->property("positionMs").toDouble() > 0);
        click(firstNamed(QStringLiteral("recordedSnapshotButton")));
        QTRY_COMPARE_WITH_TIMEOUT(QDir(folder.path()).entryList({QStringLiteral("*.png")}).size(), 1, 10000);
        const QString shot = QDir(folder.path()).entryList({QStringLiteral("*.png")}).first();
        QVERIFY2(shot.startsWith(QLatin1String("Entrance 2024-05-01")), qPrintable(shot));
        // The frame at its own size, not the tile's.
        QTRY_COMPARE_WITH_TIMEOUT(QImage(folder.filePath(shot)).size(), QSize(640, 360), 5000);
    }

    // B's button with the export marks still set: a bookmark of the marked span, stored through
    // the server, listed beside the search and flagged on the time bar.
    void bookmarkOnThePage()
    {
        QTRY_VERIFY(page()->property("positionMs").toDouble() > 0);
        click(firstNamed(QStringLiteral("bookmarkButton")));
        QTRY_VERIFY(firstNamed(QStringLiteral("bookmarkTitle")) &&
                    firstNamed(QStringLiteral("bookmarkTitle"))->isVisible());
        QVERIFY(
            firstNamed(QStringLiteral("bookmarkTitle"))->setProperty("text", QStringLiteral("Left by the side door")));
        click(firstNamed(QStringLiteral("bookmarkSave")));
        QTRY_VERIFY_WITH_TIMEOUT(!visibleRows(QStringLiteral("bookmarkRow")).isEmpty(), 10000);
        QTRY_VERIFY(!firstNamed(QStringLiteral("bookmarkTitle")) ||
                    !firstNamed(QStringLiteral("bookmarkTitle"))->isVisible());
        const QVariantList spans = firstNamed(QStringLiteral("timeline"))->property("bookmarkSpans").toList();
        QCOMPARE(spans.size(), 1);
        QCOMPARE(spans.first().toList().value(0).toLongLong(), 1714550405000LL);
        QCOMPARE(spans.first().toList().value(1).toLongLong(), 1714550415000LL);
    }

    void missingMediaShowsTheFailure()
    {
        QQuickItem* row = streamRow(QStringLiteral("Archive"));
        QVERIFY(row);
        click(row);
        // The previous stream's two chunks give way to this stream's one.
        QTRY_COMPARE_WITH_TIMEOUT(chunkCount(), 1, 10000);
        QQmlExpression stream(qmlContext(page()), page(), QStringLiteral("lstChunks.get(0).streamId"));
        QCOMPARE(stream.evaluate().toInt(), 12);
        QTRY_COMPARE_WITH_TIMEOUT(visibleRows(QStringLiteral("chunkRow")).size(), 1, 5000);

        auto* downloader = qobject_cast<Downloader*>(pageObject("downloader"));
        QVERIFY(downloader);
        QSignalSpy finished(downloader, &Downloader::finished);
        QSignalSpy failed(downloader, &Downloader::failed);
        click(visibleRows(QStringLiteral("chunkRow")).first());
        QVERIFY2(failed.wait(20000), qPrintable(m_sim.output().right(2000)));
        QVERIFY2(failed.first().first().toString().contains(QLatin1String("404")),
                 qPrintable(failed.first().first().toString()));
        QVERIFY(finished.isEmpty());
        // The simulator logs a request once it has answered it.
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_sim.output().contains(
                QStringLiteral("GET /12-%1-%2 -> 404").arg(QLatin1String(chunkStart), QLatin1String(chunkEnd))),
            qPrintable(m_sim.output().right(2000)), 5000);

        QQuickItem* error = firstNamed(QStringLiteral("downloadError"));
        QVERIFY(error);
        QTRY_VERIFY(error->isVisible());
        QVERIFY2(error->property("text").toString().contains(QLatin1String("404")),
                 qPrintable(error->property("text").toString()));
        QCOMPARE(pageObject("player")->property("url").toString(), QString());
        auto* mpv =
            pageObject("player")->property("backend").value<QObject*>()->property("mpvObject").value<QObject*>();
        QVERIFY(mpv);
        QTRY_VERIFY2_WITH_TIMEOUT(mpv->property("idle").toBool(), "the previous chunk stops playing", 10000);
        QVERIFY(!firstNamed(QStringLiteral("downloadProgress"))->isVisible());
    }

    // The layout's cameras in step: a tile each in the layout's geometry, a lane each on the time
    // bar, one clock; the camera whose media the gateway lacks says so while the other plays.
    void layoutCamerasInStep()
    {
        click(firstNamed(QStringLiteral("layoutInStepButton")));
        QTRY_VERIFY_WITH_TIMEOUT(page()->property("inStep").toBool(), 5000);
        QObject* sync = pageObject("cameraSync");
        QVERIFY(sync);
        QTRY_COMPARE_WITH_TIMEOUT(sync->property("count").toInt(), 2, 5000);
        QCOMPARE(firstNamed(QStringLiteral("timeline"))->property("lanes").toList().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(sync->property("positionMs").toDouble() >= double(1714550400000), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!sync->property("holding").toBool(), 10000);

        QList<QQuickItem*> tiles = itemsNamed(page(), QStringLiteral("syncTile"));
        QCOMPARE(tiles.size(), 2);
        // The layout's columns 0 and 2 of three.
        QVERIFY(tiles.at(1)->x() > tiles.at(0)->x() + tiles.at(0)->width());
        auto sessionOf = [](QQuickItem* tile) { return tile->property("session").value<QObject*>(); };
        QObject* entrance = sessionOf(tiles.at(0));
        QObject* archive = sessionOf(tiles.at(1));
        QTRY_VERIFY_WITH_TIMEOUT(entrance->property("positionMs").toDouble() > 0, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!archive->property("downloadError").toString().isEmpty(), 20000);
        QVERIFY(itemsNamed(tiles.at(1), QStringLiteral("downloadError")).first()->isVisible());

        // Each camera's chunks have files of their own.
        QVERIFY(entrance->property("playingFile").toString().contains(QLatin1String("step-11")));

        // A click on the time bar moves the clock; the playing camera follows it. The bar shows
        // two minutes, so that a pixel is a fraction of a second.
        QQuickItem* timeline = firstNamed(QStringLiteral("timeline"));
        QVERIFY(timeline->setProperty("viewStart", 1714550400000LL));
        QVERIFY(timeline->setProperty("viewEnd", 1714550520000LL));
        const qlonglong target = 1714550415000LL;
        double x = 0;
        QVERIFY(QMetaObject::invokeMethod(timeline, "xAt", Q_RETURN_ARG(qreal, x), Q_ARG(qlonglong, target)));
        QTest::mouseClick(m_client.window(), Qt::LeftButton, Qt::NoModifier,
                          timeline->mapToScene(QPointF(x, timeline->height() / 4)).toPoint());
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(sync->property("positionMs").toDouble() - double(target)) < 2000, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(entrance->property("positionMs").toDouble() - double(target)) < 2000, 20000);
        QCOMPARE(entrance->property("startTime").toString(), QStringLiteral("1714550410000"));
        // The archive has no recording there.
        QTRY_VERIFY_WITH_TIMEOUT(archive->property("noRecording").toBool(), 5000);
        QVERIFY(itemsNamed(tiles.at(1), QStringLiteral("noRecordingLabel")).first()->isVisible());

        // Untick one: the other is the page's one stream again.
        QVERIFY(QMetaObject::invokeMethod(page(), "setTicked", Q_ARG(QVariant, QStringLiteral("13")),
                                          Q_ARG(QVariant, QStringLiteral("12")), Q_ARG(QVariant, false)));
        QTRY_VERIFY(!page()->property("inStep").toBool());
        QCOMPARE(page()->property("strmId").toString(), QStringLiteral("11"));
        QTRY_VERIFY(pageObject("player")->property("visible").toBool());
    }

private:
    QTemporaryDir m_dir;
    SimProcess m_sim;
    InProcessClient m_client;
};

int main(int argc, char* argv[])
{
    return runClientTest<TestUiRecorded>(argc, argv);
}

#include "tst_uirecorded.moc"
