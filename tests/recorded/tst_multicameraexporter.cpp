// SPDX-License-Identifier: MIT
// The same span of several cameras exported into one folder with one manifest
// (MultiCameraExporter): the chunks are made with the ffmpeg program and served by the tests' HTTP
// server, the files read back with libavformat, and the manifest checked with the README's own
// sha256sum command.
#include <memory>
#include <tuple>

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

extern "C" {
#include <libavformat/avformat.h>
}

#include "exportcameramodel.h"
#include "freeports.h"
#include "multicameraexporter.h"
#include "recordedtypes.h"
#include "testhttpserver.h"

namespace {

constexpr int TimeoutMs = 30000;
// A joined file lasts as long as its parts; the last frame's duration may be counted or not.
constexpr double DurationToleranceS = 0.15;
const QString SpanFolder = QStringLiteral("2024-05-01 09.00.00-09.10.00");

struct MediaInfo
{
    int videoPackets = -1;
    double durationS = 0.0;
};

MediaInfo readMedia(const QString& path)
{
    MediaInfo info;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return info;
    if (avformat_find_stream_info(context, nullptr) >= 0) {
        info.videoPackets = 0;
        info.durationS = context->duration > 0 ? double(context->duration) / AV_TIME_BASE : 0.0;
        const int video = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(context, packet) >= 0) {
            if (packet->stream_index == video)
                ++info.videoPackets;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&context);
    return info;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

qlonglong localMs(int hour, int minute)
{
    return QDateTime(QDate(2024, 5, 1), QTime(hour, minute), Qt::LocalTime).toMSecsSinceEpoch();
}

QVariantMap camera(const QString& name, const QString& streamId, const QStringList& urls)
{
    return {{QStringLiteral("camera"), name},
            {QStringLiteral("streamId"), streamId},
            {QStringLiteral("deviceId"), QStringLiteral("dev-") + streamId},
            {QStringLiteral("urls"), urls}};
}

// The README's check of an export folder, run by the shell in that folder: its exit code and output.
QPair<int, QString> readmeCheck(const QString& folder)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.setProcessChannelMode(QProcess::MergedChannels);
    shell.start(QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("grep -o '\"sha256sum\": \"[^\"]*\"' manifest.json | cut -d'\"' -f4 | sha256sum -c")});
    if (!shell.waitForFinished(TimeoutMs) || shell.exitStatus() != QProcess::NormalExit)
        return {-1, QStringLiteral("the shell did not finish")};
    return {shell.exitCode(), QString::fromLocal8Bit(shell.readAll())};
}

// What the ffmpeg program says when it decodes the whole file: nothing for a sound one.
QString decodeErrors(const QString& path)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                  {"-v", "error", "-nostdin", "-i", path, "-f", "null", "-"});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("ffmpeg did not finish");
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    return process.exitCode() != 0 && errors.isEmpty() ? QStringLiteral("ffmpeg exited with %1").arg(process.exitCode())
                                                       : errors;
}

// Promises a megabyte, sends a little, then waits for ever: a transfer in progress.
TestHttpServer::Reply stalledChunk()
{
    TestHttpServer::Reply reply = TestHttpServer::Reply::ok(QByteArray(1024, '\0'), "video/mp4");
    reply.contentLength = 1048576;
    reply.ending = TestHttpServer::Ending::Hold;
    return reply;
}

ExportCameraModel::State stateOf(MultiCameraExporter& exporter, int row)
{
    return exporter.cameras()->row(row).state;
}

} // namespace

class TestMultiCameraExporter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void oneCameraFails_data();
    void oneCameraFails();
    void filesLastTheirSpan_data();
    void filesLastTheirSpan();
    void namesInTheFolder();
    void allCamerasFail();
    void refusedStarts_data();
    void refusedStarts();
    void cancelLeavesNothing_data();
    void cancelLeavesNothing();
    void destroyLeavesNothing();
    void modelFollowsEachCamera();
    void usableFromQml();

private:
    QString media(const QString& name) const { return m_media.filePath(name); }

    QTemporaryDir m_media;
    QString m_mediaProblem;
    TestHttpServer m_server;
    qlonglong m_startMs = 0;
    qlonglong m_endMs = 0;
};

#define REQUIRE_MEDIA()                                                                                                \
    do {                                                                                                               \
        if (!m_mediaProblem.isEmpty())                                                                                 \
            QSKIP(qPrintable(m_mediaProblem));                                                                         \
    } while (false)

void TestMultiCameraExporter::initTestCase()
{
    registerRecordedTypes();
    QVERIFY(m_media.isValid());
    QVERIFY(m_server.listen());
    m_startMs = localMs(9, 0);
    m_endMs = localMs(9, 10);

    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        m_mediaProblem = QStringLiteral("the ffmpeg program is not installed (Debian package ffmpeg); it makes the "
                                        "test's video files");
        return;
    }
    // x264 as it comes (with B-frames), and as cameras mostly send it: without, a key frame a second.
    const QStringList withBFrames = {"-c:v", "libx264", "-pix_fmt", "yuv420p"};
    const QStringList withoutBFrames = withBFrames + QStringList{"-bf", "0", "-g", "10"};
    for (const auto& [name, seconds, codec] : {std::make_tuple(QStringLiteral("a.mp4"), 2, withBFrames),
                                               std::make_tuple(QStringLiteral("b.mp4"), 3, withBFrames),
                                               std::make_tuple(QStringLiteral("p.mp4"), 4, withoutBFrames),
                                               std::make_tuple(QStringLiteral("bf.mp4"), 4, withBFrames)}) {
        QProcess process;
        process.setWorkingDirectory(m_media.path());
        process.start(ffmpeg, QStringList{"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                          "testsrc2=size=160x120:rate=10", "-t", QString::number(seconds)} +
                                  codec + QStringList{name});
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_mediaProblem = QStringLiteral("ffmpeg could not make %1: %2")
                                 .arg(name, QString::fromLocal8Bit(process.readAllStandardError()));
            return;
        }
        m_server.route(QStringLiteral("/") + name, TestHttpServer::Reply::ok(readAll(media(name)), "video/mp4"));
    }
    m_server.route(QStringLiteral("/notes.mp4"), TestHttpServer::Reply::ok("Not a video, just words.\n", "video/mp4"));
    m_server.route(QStringLiteral("/stalled.mp4"), stalledChunk());
}

void TestMultiCameraExporter::oneCameraFails_data()
{
    QTest::addColumn<QString>("failingUrl");
    QTest::addColumn<QString>("reason"); // in the failed camera's error

    QTest::newRow("chunk not found") << m_server.url("/missing.mp4") << "HTTP 404";
    QTest::newRow("gateway unreachable") << QStringLiteral("http://127.0.0.1:%1/a.mp4").arg(testsupport::freePort())
                                         << "Could not fetch";
    QTest::newRow("not a video") << m_server.url("/notes.mp4") << "Invalid data found";
}

// Two files and one manifest that sha256sum checks; the camera that failed is named and has no file.
void TestMultiCameraExporter::oneCameraFails()
{
    REQUIRE_MEDIA();
    QFETCH(QString, failingUrl);
    QFETCH(QString, reason);
    QTemporaryDir out;
    MultiCameraExporter exporter;
    exporter.setProvenance(QStringLiteral("desk-3"), QStringLiteral("ops"), QStringLiteral("vms.example:5500"));
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QSignalSpy failed(&exporter, &MultiCameraExporter::failed);
    const QVariantList cameras = {
        camera(QStringLiteral("Cam A"), QStringLiteral("101"), {m_server.url("/a.mp4"), m_server.url("/b.mp4")}),
        camera(QStringLiteral("Cam B"), QStringLiteral("102"), {m_server.url("/a.mp4"), failingUrl}),
        camera(QStringLiteral("Cam C"), QStringLiteral("103"), {m_server.url("/a.mp4")}),
    };
    QVERIFY2(exporter.start(cameras, out.path(), m_startMs, m_endMs), qPrintable(exporter.lastError()));
    QVERIFY(exporter.busy());
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(failed.count(), 0);

    const QString folder = out.filePath(SpanFolder);
    QCOMPARE(finished.first().at(0).toString(), folder);
    QCOMPARE(finished.first().at(1).toStringList(), QStringList{"Cam B"});
    QCOMPARE(exporter.lastFolder(), folder);
    QVERIFY2(exporter.lastError().contains(QLatin1String("Cam B: ")) && exporter.lastError().contains(reason),
             qPrintable(exporter.lastError()));
    QVERIFY(!exporter.busy());
    QCOMPARE(exporter.progress(), 1.0);
    QCOMPARE(entries(out.path()), QStringList{SpanFolder});
    QCOMPARE(entries(folder), (QStringList{"Cam A.mp4", "Cam C.mp4", "manifest.json"}));

    // Each file lasts its chunks and holds their frames.
    const MediaInfo a = readMedia(media("a.mp4"));
    const MediaInfo b = readMedia(media("b.mp4"));
    const MediaInfo camA = readMedia(QDir(folder).filePath("Cam A.mp4"));
    const MediaInfo camC = readMedia(QDir(folder).filePath("Cam C.mp4"));
    QCOMPARE(camA.videoPackets, a.videoPackets + b.videoPackets);
    QCOMPARE(camC.videoPackets, a.videoPackets);
    QVERIFY2(qAbs(camA.durationS - (a.durationS + b.durationS)) <= DurationToleranceS,
             qPrintable(QString::number(camA.durationS)));

    const QJsonObject manifest = QJsonDocument::fromJson(readAll(QDir(folder).filePath("manifest.json"))).object();
    QCOMPARE(manifest.value("station").toString(), QStringLiteral("desk-3"));
    QCOMPARE(manifest.value("operator").toString(), QStringLiteral("ops"));
    QCOMPARE(manifest.value("server").toString(), QStringLiteral("vms.example:5500"));
    QCOMPARE(qlonglong(manifest.value("span").toObject().value("fromMs").toDouble()), m_startMs);
    QCOMPARE(qlonglong(manifest.value("span").toObject().value("toMs").toDouble()), m_endMs);
    const QJsonArray files = manifest.value("files").toArray();
    QCOMPARE(files.size(), 2);
    const QJsonObject fileA = files.at(0).toObject();
    QCOMPARE(fileA.value("file").toString(), QStringLiteral("Cam A.mp4"));
    QCOMPARE(fileA.value("camera").toString(), QStringLiteral("Cam A"));
    QCOMPARE(fileA.value("streamId").toString(), QStringLiteral("101"));
    QCOMPARE(fileA.value("deviceId").toString(), QStringLiteral("dev-101"));
    QCOMPARE(fileA.value("chunks").toVariant().toStringList(), (QStringList{"a.mp4", "b.mp4"}));
    QCOMPARE(qint64(fileA.value("bytes").toDouble()), QFileInfo(QDir(folder).filePath("Cam A.mp4")).size());
    QCOMPARE(files.at(1).toObject().value("file").toString(), QStringLiteral("Cam C.mp4"));
    const QJsonArray missing = manifest.value("notExported").toArray();
    QCOMPARE(missing.size(), 1);
    QCOMPARE(missing.first().toObject().value("camera").toString(), QStringLiteral("Cam B"));
    QCOMPARE(missing.first().toObject().value("streamId").toString(), QStringLiteral("102"));
    QVERIFY2(missing.first().toObject().value("reason").toString().contains(reason),
             qPrintable(missing.first().toObject().value("reason").toString()));

    const ExportCameraModel* rows = exporter.cameras();
    QCOMPARE(rows->rowCount(), 3);
    QCOMPARE(rows->row(0).state, ExportCameraModel::Done);
    QCOMPARE(rows->row(0).file, QStringLiteral("Cam A.mp4"));
    QCOMPARE(rows->row(1).state, ExportCameraModel::Failed);
    QVERIFY2(rows->row(1).error.contains(reason), qPrintable(rows->row(1).error));
    QVERIFY(rows->row(1).file.isEmpty());
    QCOMPARE(rows->row(2).state, ExportCameraModel::Done);

    if (QStandardPaths::findExecutable(QStringLiteral("sha256sum")).isEmpty())
        QSKIP("sha256sum is not installed");
    const auto [code, output] = readmeCheck(folder);
    QVERIFY2(code == 0, qPrintable(output));
    QVERIFY2(output.contains(QLatin1String("Cam A.mp4: OK")) && output.contains(QLatin1String("Cam C.mp4: OK")),
             qPrintable(output));

    // A changed byte is found, and named.
    QFile changed(QDir(folder).filePath("Cam C.mp4"));
    QVERIFY(changed.open(QIODevice::ReadWrite));
    QVERIFY(changed.seek(changed.size() / 2));
    const char byte = changed.peek(1).at(0);
    QVERIFY(changed.putChar(char(byte ^ 0x5a)));
    changed.close();
    const auto [codeAfter, outputAfter] = readmeCheck(folder);
    QCOMPARE(codeAfter, 1);
    QVERIFY2(outputAfter.contains(QLatin1String("Cam C.mp4: FAILED")) &&
                 outputAfter.contains(QLatin1String("Cam A.mp4: OK")),
             qPrintable(outputAfter));
}

void TestMultiCameraExporter::filesLastTheirSpan_data()
{
    QTest::addColumn<QString>("media");
    QTest::addColumn<double>("shortBy"); // how much shorter than the span the file may be, in s

    // A frame is 0.1 s: the cut at the end keeps the frame shown at it, or not.
    QTest::newRow("without B-frames") << "p.mp4" << 0.1;
    // What follows the first frame past the cut in decoding order goes too: up to the B-frames
    // between two references (x264 puts up to three).
    QTest::newRow("with B-frames") << "bf.mp4" << 0.4;
}

// Chunks named as a gateway names them, with a gap between them: the first begins before the span
// and the last ends after it, and the file holds what was recorded in the span, to the frame.
void TestMultiCameraExporter::filesLastTheirSpan()
{
    REQUIRE_MEDIA();
    QFETCH(QString, media);
    QFETCH(double, shortBy);
    const qlonglong chunk1 = localMs(9, 0);
    const qlonglong chunk2 = chunk1 + 5000;
    const QString path1 = QStringLiteral("/101-%1-%2").arg(chunk1).arg(chunk1 + 4000);
    const QString path2 = QStringLiteral("/101-%1-%2").arg(chunk2).arg(chunk2 + 4000);
    const QString path3 = QStringLiteral("/102-%1-%2").arg(chunk2).arg(chunk2 + 4000);
    for (const QString& path : {path1, path2, path3})
        m_server.route(path, TestHttpServer::Reply::ok(readAll(this->media(media)), "video/mp4"));
    // 1.5 s into the first chunk to 2.25 s into the second: 2.5 s and 2.25 s of recording. The
    // second camera's one chunk begins in the span: only its end is cut.
    const qlonglong from = chunk1 + 1500;
    const qlonglong to = chunk2 + 2250;
    QTemporaryDir out;
    MultiCameraExporter exporter;
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QVERIFY(exporter.start({camera("Cam A", "101", {m_server.url(path1), m_server.url(path2)}),
                            camera("Cam B", "102", {m_server.url(path3)})},
                           out.path(), from, to));
    QVERIFY(finished.wait(TimeoutMs));
    const QString folder = finished.first().at(0).toString();

    for (const auto& [file, recorded] :
         {qMakePair(QStringLiteral("Cam A.mp4"), 2.5 + 2.25), qMakePair(QStringLiteral("Cam B.mp4"), 2.25)}) {
        const QString written = QDir(folder).filePath(file);
        const MediaInfo info = readMedia(written);
        QVERIFY2(info.durationS >= recorded - shortBy - 0.001 && info.durationS <= recorded + 0.1 + 0.001,
                 qPrintable(QStringLiteral("%1 lasts %2 s for %3 s recorded in the span")
                                .arg(file)
                                .arg(info.durationS)
                                .arg(recorded)));
        QCOMPARE(decodeErrors(written), QString());
    }
}

// The folder is new (an earlier one of the span stays as it was), cameras of one name get a file
// each, and a camera without a recording is listed without being a failure.
void TestMultiCameraExporter::namesInTheFolder()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    QVERIFY(QDir(out.path()).mkdir(SpanFolder));
    const QString earlier = QDir(out.filePath(SpanFolder)).filePath("Door_1.mp4");
    QVERIFY(writeFile(earlier, "an earlier export"));

    MultiCameraExporter exporter;
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    const QVariantList cameras = {
        camera(QStringLiteral("Door/1"), QStringLiteral("1"), {m_server.url("/a.mp4")}),
        camera(QStringLiteral("Yard"), QStringLiteral("2"), {}),
        camera(QStringLiteral("door:1"), QStringLiteral("3"), {m_server.url("/b.mp4")}),
    };
    // A folder dialog gives a URL.
    QVERIFY(exporter.start(cameras, QUrl::fromLocalFile(out.path()).toString(), m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    const QString folder = out.filePath(SpanFolder + QStringLiteral(" (2)"));
    QCOMPARE(finished.first().at(0).toString(), folder);
    QCOMPARE(finished.first().at(1).toStringList(), QStringList());
    QVERIFY(exporter.lastError().isEmpty());
    QCOMPARE(readAll(earlier), QByteArray("an earlier export"));
    QCOMPARE(entries(out.filePath(SpanFolder)), QStringList{"Door_1.mp4"});
    // Told apart without their case, as a USB stick's file system does.
    QCOMPARE(entries(folder), (QStringList{"Door_1.mp4", "door_1 (2).mp4", "manifest.json"}));
    QCOMPARE(readMedia(QDir(folder).filePath("door_1 (2).mp4")).videoPackets, readMedia(media("b.mp4")).videoPackets);

    QCOMPARE(stateOf(exporter, 1), ExportCameraModel::NoRecording);
    const QJsonObject manifest = QJsonDocument::fromJson(readAll(QDir(folder).filePath("manifest.json"))).object();
    QCOMPARE(manifest.value("files").toArray().size(), 2);
    const QJsonArray missing = manifest.value("notExported").toArray();
    QCOMPARE(missing.size(), 1);
    QCOMPARE(missing.first().toObject().value("camera").toString(), QStringLiteral("Yard"));
    QCOMPARE(missing.first().toObject().value("reason").toString(), QStringLiteral("Nothing recorded in the span"));
    if (QStandardPaths::findExecutable(QStringLiteral("sha256sum")).isEmpty())
        QSKIP("sha256sum is not installed");
    const auto [code, output] = readmeCheck(folder);
    QVERIFY2(code == 0, qPrintable(output));
}

void TestMultiCameraExporter::allCamerasFail()
{
    QTemporaryDir out;
    MultiCameraExporter exporter;
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QSignalSpy failed(&exporter, &MultiCameraExporter::failed);
    QVERIFY(exporter.start({camera("Cam A", "1", {m_server.url("/missing-a.mp4")}),
                            camera("Cam B", "2", {m_server.url("/missing-b.mp4")})},
                           out.path(), m_startMs, m_endMs));
    QVERIFY(failed.wait(TimeoutMs));
    const QString message = failed.first().first().toString();
    QVERIFY2(message.startsWith(QLatin1String("No camera could be exported")) &&
                 message.contains(QLatin1String("Cam A: ")) && message.contains(QLatin1String("Cam B: ")),
             qPrintable(message));
    QCOMPARE(exporter.lastError(), message);
    QCOMPARE(finished.count(), 0);
    QVERIFY(exporter.lastFolder().isEmpty());
    QVERIFY(!exporter.busy());
    QVERIFY2(entries(out.path()).isEmpty(), qPrintable(entries(out.path()).join(", ")));
    QCOMPARE(stateOf(exporter, 0), ExportCameraModel::Failed);
    QCOMPARE(stateOf(exporter, 1), ExportCameraModel::Failed);
}

void TestMultiCameraExporter::refusedStarts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("busy") << "busy"
                          << "An export is already running";
    QTest::newRow("no cameras") << "noCameras"
                                << "No cameras to export";
    QTest::newRow("nothing recorded") << "noUrls"
                                      << "Nothing recorded in the span";
    QTest::newRow("span backwards") << "backwards"
                                    << "The span ends before it starts";
    QTest::newRow("folder cannot be created") << "folderIsAFile"
                                              << "Cannot create the folder";
}

void TestMultiCameraExporter::refusedStarts()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QTemporaryDir out;
    QTemporaryDir busyOut;
    MultiCameraExporter exporter;
    QVariantList cameras = {camera("Cam A", "1", {m_server.url("/a.mp4")}), camera("Cam B", "2", {})};
    QString folder = out.path();
    qlonglong endMs = m_endMs;
    if (kind == QLatin1String("busy"))
        QVERIFY(
            exporter.start({camera("Cam S", "9", {m_server.url("/stalled.mp4")})}, busyOut.path(), m_startMs, m_endMs));
    else if (kind == QLatin1String("noCameras"))
        cameras.clear();
    else if (kind == QLatin1String("noUrls"))
        cameras = {camera("Cam A", "1", {}), camera("Cam B", "2", {QStringLiteral(" ")}), QVariant(42)};
    else if (kind == QLatin1String("backwards"))
        endMs = m_startMs - 1;
    else if (kind == QLatin1String("folderIsAFile")) {
        QVERIFY(writeFile(out.filePath(QStringLiteral("file")), "x"));
        folder = out.filePath(QStringLiteral("file/exports"));
    }
    const QStringList before = entries(out.path());
    QSignalSpy failed(&exporter, &MultiCameraExporter::failed);
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QSignalSpy busyChanged(&exporter, &MultiCameraExporter::busyChanged);

    QVERIFY(!exporter.start(cameras, folder, m_startMs, endMs));
    QVERIFY2(exporter.lastError().contains(expected), qPrintable(exporter.lastError()));
    QCOMPARE(busyChanged.count(), 0);
    QCOMPARE(exporter.busy(), kind == QLatin1String("busy"));
    QCOMPARE(entries(out.path()), before);
    QTest::qWait(50); // no signal comes later either
    QCOMPARE(failed.count(), 0);
    QCOMPARE(finished.count(), 0);
}

void TestMultiCameraExporter::cancelLeavesNothing_data()
{
    QTest::addColumn<QStringList>("paths"); // one camera each
    QTest::addColumn<int>("cancelRow");
    QTest::addColumn<double>("cancelAt"); // the row's progress

    // Downloading: the stalled transfer has begun.
    QTest::newRow("first camera downloading") << QStringList{"/stalled.mp4", "/a.mp4"} << 0 << 0.0001;
    // The first camera's file is whole by then, and goes too.
    QTest::newRow("after a camera is done") << QStringList{"/a.mp4", "/stalled.mp4"} << 1 << 0.0001;
    // The fetching is 0.8 of a camera's progress: the rest is joining.
    QTest::newRow("while joining") << QStringList{"/a.mp4", "/b.mp4"} << 0 << 0.8;
}

void TestMultiCameraExporter::cancelLeavesNothing()
{
    QFETCH(QStringList, paths);
    QFETCH(int, cancelRow);
    QFETCH(double, cancelAt);
    if (paths.contains(QLatin1String("/a.mp4")))
        REQUIRE_MEDIA();
    QTemporaryDir out;
    MultiCameraExporter exporter;
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QSignalSpy failed(&exporter, &MultiCameraExporter::failed);
    QVariantList cameras;
    for (int i = 0; i < paths.size(); ++i)
        cameras << camera(QStringLiteral("Cam %1").arg(i), QString::number(i), {m_server.url(paths.at(i))});
    bool cancelled = false;
    connect(exporter.cameras(), &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& index) {
        const ExportCameraModel::Row& row = exporter.cameras()->row(index.row());
        if (!cancelled && index.row() == cancelRow && row.state == ExportCameraModel::Exporting &&
            row.progress >= cancelAt) {
            cancelled = true;
            exporter.cancel();
        }
    });
    QVERIFY(exporter.start(cameras, out.path(), m_startMs, m_endMs));
    QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty(), TimeoutMs);
    QVERIFY(cancelled);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("Export cancelled"));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!exporter.busy());
    QVERIFY2(entries(out.path()).isEmpty(), qPrintable(entries(out.path()).join(", ")));
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(stateOf(exporter, i), ExportCameraModel::Cancelled);
    exporter.cancel();
    QTest::qWait(50); // a second cancel does nothing
    QCOMPARE(failed.count(), 1);

    // And it exports again.
    if (!m_mediaProblem.isEmpty())
        return;
    QVERIFY(exporter.start({camera("Cam A", "1", {m_server.url("/a.mp4")})}, out.path(), m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(entries(out.filePath(SpanFolder)), (QStringList{"Cam A.mp4", "manifest.json"}));
}

void TestMultiCameraExporter::destroyLeavesNothing()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    auto exporter = std::make_unique<MultiCameraExporter>();
    QVERIFY(exporter->start(
        {camera("Cam A", "1", {m_server.url("/a.mp4")}), camera("Cam B", "2", {m_server.url("/stalled.mp4")})},
        out.path(), m_startMs, m_endMs));
    QTRY_VERIFY_WITH_TIMEOUT(stateOf(*exporter, 1) == ExportCameraModel::Exporting, TimeoutMs);
    QVERIFY(QFileInfo::exists(QDir(out.filePath(SpanFolder)).filePath("Cam A.mp4")));
    exporter.reset();
    QTest::qWait(50); // the aborted transfer's deferred deletion
    QVERIFY2(entries(out.path()).isEmpty(), qPrintable(entries(out.path()).join(", ")));
}

// One row per camera: reset once at the start, then each row changes on its own as its camera
// goes from waiting to exporting to done or failed, its progress rising only.
void TestMultiCameraExporter::modelFollowsEachCamera()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    MultiCameraExporter exporter;
    ExportCameraModel* model = exporter.cameras();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy countChanged(model, &ExportCameraModel::countChanged);
    QSignalSpy finished(&exporter, &MultiCameraExporter::finished);
    QHash<int, QList<int>> states;
    QHash<int, QList<qreal>> progress;
    QList<qreal> overall;
    connect(model, &QAbstractItemModel::dataChanged, this, [&](const QModelIndex& from, const QModelIndex& to) {
        QCOMPARE(from, to);
        const int row = from.row();
        const int state = model->data(from, ExportCameraModel::StateRole).toInt();
        if (states[row].isEmpty() || states[row].last() != state)
            states[row] << state;
        progress[row] << model->data(from, ExportCameraModel::ProgressRole).toReal();
    });
    connect(&exporter, &MultiCameraExporter::progressChanged, this, [&] { overall << exporter.progress(); });

    QCOMPARE(model->roleNames().value(Qt::UserRole + 1), QByteArray("camera"));
    QVERIFY(exporter.start({camera("Cam A", "1", {m_server.url("/a.mp4"), m_server.url("/b.mp4")}),
                            camera("Cam B", "2", {m_server.url("/missing.mp4")}), camera("Cam C", "3", {})},
                           out.path(), m_startMs, m_endMs));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(countChanged.count(), 1);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->data(model->index(0), ExportCameraModel::CameraRole).toString(), QStringLiteral("Cam A"));
    QCOMPARE(model->data(model->index(2), ExportCameraModel::StreamIdRole).toString(), QStringLiteral("3"));
    QCOMPARE(model->data(model->index(2), ExportCameraModel::StateRole).toInt(), int(ExportCameraModel::NoRecording));
    QCOMPARE(model->data(model->index(0), ExportCameraModel::StateRole).toInt(), int(ExportCameraModel::Waiting));
    QVERIFY(finished.wait(TimeoutMs));

    QCOMPARE(reset.count(), 1);
    QVERIFY(changed.count() >= 4);
    QCOMPARE(states.value(0), (QList<int>{ExportCameraModel::Exporting, ExportCameraModel::Done}));
    QCOMPARE(states.value(1), (QList<int>{ExportCameraModel::Exporting, ExportCameraModel::Failed}));
    QVERIFY2(!states.contains(2), "a camera without a recording is through from the start");
    for (int row : {0, 1}) {
        const QList<qreal> values = progress.value(row);
        for (int i = 1; i < values.size(); ++i)
            QVERIFY2(values.at(i) >= values.at(i - 1), qPrintable(QStringLiteral("row %1 step %2").arg(row).arg(i)));
        QCOMPARE(values.last(), 1.0);
    }
    QVERIFY(progress.value(0).size() >= 3);
    QVERIFY(!model->data(model->index(1), ExportCameraModel::ErrorRole).toString().isEmpty());
    QCOMPARE(model->data(model->index(0), ExportCameraModel::FileRole).toString(), QStringLiteral("Cam A.mp4"));
    QCOMPARE(model->get(1).value(QStringLiteral("camera")).toString(), QStringLiteral("Cam B"));
    QVERIFY(model->get(3).isEmpty());
    for (int i = 1; i < overall.size(); ++i)
        QVERIFY(overall.at(i) > overall.at(i - 1));
    QCOMPARE(overall.last(), 1.0);
}

// As the recorded page will use it: JavaScript objects for the cameras, the end signal's names,
// the per-camera model and its states by name.
void TestMultiCameraExporter::usableFromQml()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(
        QStringLiteral("import QtQml 2.15\nimport Native 1.0\n"
                       "MultiCameraExporter {\n"
                       "    property string doneFolder\n"
                       "    property var doneFailed\n"
                       "    onFinished: { doneFolder = folder; doneFailed = failedCameras }\n"
                       "    function go(base, good, bad) {\n"
                       "        setProvenance('desk', 'ops', 'server:1');\n"
                       "        return start([{camera: 'Cam A', streamId: '1', deviceId: '7', urls: [good]},\n"
                       "                      {camera: 'Cam B', streamId: '2', deviceId: '7', urls: [bad]}],\n"
                       "                     base, %1, %2)\n"
                       "    }\n"
                       "    function stateOf(row) { return cameras.get(row).state }\n"
                       "}")
            .arg(m_startMs)
            .arg(m_endMs)
            .toUtf8(),
        QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QVariant started;
    QVERIFY(QMetaObject::invokeMethod(object.data(), "go", Q_RETURN_ARG(QVariant, started),
                                      Q_ARG(QVariant, QUrl::fromLocalFile(out.path()).toString()),
                                      Q_ARG(QVariant, m_server.url("/a.mp4")),
                                      Q_ARG(QVariant, m_server.url("/missing.mp4"))));
    QVERIFY(started.toBool());
    QTRY_VERIFY_WITH_TIMEOUT(!object->property("doneFolder").toString().isEmpty(), TimeoutMs);
    QCOMPARE(object->property("doneFolder").toString(), out.filePath(SpanFolder));
    QCOMPARE(object->property("doneFailed").toStringList(), QStringList{"Cam B"});
    QVariant state;
    QVERIFY(QMetaObject::invokeMethod(object.data(), "stateOf", Q_RETURN_ARG(QVariant, state), Q_ARG(QVariant, 1)));
    QCOMPARE(state.toInt(), int(ExportCameraModel::Failed));
    const QJsonObject manifest =
        QJsonDocument::fromJson(readAll(QDir(out.filePath(SpanFolder)).filePath("manifest.json"))).object();
    QCOMPARE(manifest.value("operator").toString(), QStringLiteral("ops"));
}

QTEST_GUILESS_MAIN(TestMultiCameraExporter)
#include "tst_multicameraexporter.moc"
