// SPDX-License-Identifier: MIT
// Recorded chunks joined into one MP4 without re-encoding (MediaJoiner), and exported from their
// URLs (ChunkExporter): the inputs are made with the ffmpeg program, the chunks served by the tests'
// HTTP server, and the results read back with libavformat.
#include <atomic>
#include <memory>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "chunkexporter.h"
#include "logcapture.h"
#include "mediajoiner.h"
#include "recordedtypes.h"
#include "testhttpserver.h"

namespace {

// Long enough for a slow machine to fetch and join a few seconds of tiny video.
constexpr int TimeoutMs = 20000;
// A joined file lasts as long as its parts; the last frame's duration may be counted or not.
constexpr double DurationToleranceS = 0.15;

// What the test reads back from a media file.
struct MediaInfo
{
    QString error;
    AVCodecID videoCodec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    int streams = 0;
    double durationS = 0.0;
    QByteArray videoExtradata; // the codec's set-up (SPS and PPS for H.264)
    int videoPackets = 0;
    qint64 videoBytes = 0;
    int audioPackets = 0;
    bool dtsIncreasing = true;
};

MediaInfo readMedia(const QString& path)
{
    MediaInfo info;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr) < 0) {
        info.error = QStringLiteral("cannot open ") + path;
        return info;
    }
    if (avformat_find_stream_info(context, nullptr) < 0) {
        info.error = QStringLiteral("no stream info in ") + path;
        avformat_close_input(&context);
        return info;
    }
    info.streams = int(context->nb_streams);
    info.durationS = context->duration > 0 ? double(context->duration) / AV_TIME_BASE : 0.0;
    const int video = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audio = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (video >= 0) {
        const AVCodecParameters* parameters = context->streams[video]->codecpar;
        info.videoCodec = parameters->codec_id;
        info.width = parameters->width;
        info.height = parameters->height;
        info.videoExtradata =
            QByteArray(reinterpret_cast<const char*>(parameters->extradata), parameters->extradata_size);
    }
    QHash<int, int64_t> lastDts;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == video) {
            ++info.videoPackets;
            info.videoBytes += packet->size;
        } else if (packet->stream_index == audio)
            ++info.audioPackets;
        if (lastDts.contains(packet->stream_index) &&
            (packet->dts == AV_NOPTS_VALUE || packet->dts <= lastDts.value(packet->stream_index)))
            info.dtsIncreasing = false;
        lastDts.insert(packet->stream_index, packet->dts);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
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

bool hasPartFile(const QString& folder)
{
    for (const QString& name : entries(folder))
        if (name.endsWith(QLatin1String(".part")))
            return true;
    return false;
}

qlonglong localMs(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime).toMSecsSinceEpoch();
}

// Promises a megabyte, sends a few bytes, then waits for ever: a test can act while a transfer is
// in progress.
TestHttpServer::Reply stalledChunk()
{
    TestHttpServer::Reply reply = TestHttpServer::Reply::ok(QByteArray(1024, '\0'), "video/mp4");
    reply.contentLength = 1048576;
    reply.ending = TestHttpServer::Ending::Hold;
    return reply;
}

} // namespace

class TestChunkExporter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void joinsWithoutReencoding();
    void joinsAudioToo();
    void joinFailures_data();
    void joinFailures();

    void fileNameFor_data();
    void fileNameFor();
    void defaultFolder();

    void exportsOverHttp();
    void exportsLocalFiles();
    void takenNameGetsNumber();
    void manifestChecksWithSha256sum();
    void fetchFailure();
    void refusedStarts_data();
    void refusedStarts();
    void cancelWhileDownloading();
    void cancelWhileJoining();
    void destroyWhileDownloading();
    void destroyWhileJoining();
    void usableFromQml();

private:
    bool haveMedia();
    QString media(const QString& name) const { return m_media.filePath(name); }
    double durationOf(const QStringList& names);
    QString decodeErrors(const QString& path);
    int videoPacketsOf(const QStringList& names);

    QTemporaryDir m_media;
    QString m_mediaProblem;
    // The chunks' gateway: files, 404 for paths it does not know, and transfers that stall.
    TestHttpServer m_server;
    qlonglong m_startMs = 0;
    qlonglong m_endMs = 0;
};

void TestChunkExporter::initTestCase()
{
    registerRecordedTypes();
    QVERIFY(m_media.isValid());
    QVERIFY(m_server.listen());
    m_startMs = localMs(2024, 5, 1, 9, 0, 0);
    m_endMs = localMs(2024, 5, 1, 9, 10, 0);

    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) {
        m_mediaProblem = QStringLiteral("the ffmpeg program is not installed (Debian package ffmpeg); it makes the "
                                        "test's video files");
        return;
    }
    const QStringList video = {"-c:v", "libx264", "-pix_fmt", "yuv420p"};
    const QList<QStringList> jobs = {
        QStringList{"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-t", "2"} + video + QStringList{"a.mp4"},
        QStringList{"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-t", "3"} + video + QStringList{"b.mp4"},
        QStringList{"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=10", "-t", "2"} + video + QStringList{"big.mp4"},
        QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", "2", "-c:a", "aac", "tone.m4a"},
        QStringList{"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=48000", "-t", "2"} +
            video + QStringList{"-c:a", "aac", "av.mp4"},
    };
    for (const QStringList& job : jobs) {
        QProcess process;
        process.setWorkingDirectory(m_media.path());
        process.start(ffmpeg, QStringList{"-v", "error", "-nostdin", "-y"} + job);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_mediaProblem = QStringLiteral("ffmpeg could not make %1: %2")
                                 .arg(job.last(), QString::fromLocal8Bit(process.readAllStandardError()));
            return;
        }
    }
    QVERIFY(writeFile(media("notes.txt"), "Not a video, just a few words of text.\n"));
    for (const QString& name : QStringList{"a.mp4", "b.mp4", "big.mp4", "av.mp4"})
        m_server.route(QStringLiteral("/cam1-") + name, TestHttpServer::Reply::ok(readAll(media(name)), "video/mp4"));
}

bool TestChunkExporter::haveMedia()
{
    return m_mediaProblem.isEmpty();
}

// What the ffmpeg program says when it decodes the whole file: nothing for a sound file.
QString TestChunkExporter::decodeErrors(const QString& path)
{
    QProcess process;
    process.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                  {"-v", "error", "-nostdin", "-i", path, "-f", "null", "-"});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("ffmpeg did not finish");
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitCode() != 0 && errors.isEmpty())
        return QStringLiteral("ffmpeg exited with %1").arg(process.exitCode());
    return errors;
}

double TestChunkExporter::durationOf(const QStringList& names)
{
    double sum = 0.0;
    for (const QString& name : names)
        sum += readMedia(media(name)).durationS;
    return sum;
}

int TestChunkExporter::videoPacketsOf(const QStringList& names)
{
    int sum = 0;
    for (const QString& name : names)
        sum += readMedia(media(name)).videoPackets;
    return sum;
}

#define REQUIRE_MEDIA()                                                                                                \
    do {                                                                                                               \
        if (!haveMedia())                                                                                              \
            QSKIP(qPrintable(m_mediaProblem));                                                                         \
    } while (false)

void TestChunkExporter::joinsWithoutReencoding()
{
    REQUIRE_MEDIA();
    const QStringList names = {"a.mp4", "b.mp4", "a.mp4"};
    QStringList inputs;
    for (const QString& name : names)
        inputs << media(name);
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("joined.mp4"));

    MediaJoiner joiner;
    QList<double> progress;
    joiner.setProgressCallback([&progress](double value) { progress << value; });
    QVERIFY2(joiner.join(inputs, target), qPrintable(joiner.errorString()));
    QVERIFY(joiner.errorString().isEmpty());
    QCOMPARE(entries(out.path()), QStringList{"joined.mp4"});

    const MediaInfo input = readMedia(media("a.mp4"));
    const MediaInfo joined = readMedia(target);
    QVERIFY2(joined.error.isEmpty(), qPrintable(joined.error));
    QCOMPARE(joined.videoCodec, AV_CODEC_ID_H264);
    QCOMPARE(joined.videoCodec, input.videoCodec);
    QCOMPARE(joined.width, 160);
    QCOMPARE(joined.height, 120);
    QCOMPARE(joined.streams, 1);
    QCOMPARE(joined.videoPackets, videoPacketsOf(names));
    // Copied, not encoded again: the same set-up and the same bytes.
    QCOMPARE(joined.videoExtradata, input.videoExtradata);
    qint64 bytes = 0;
    for (const QString& name : names)
        bytes += readMedia(media(name)).videoBytes;
    QCOMPARE(joined.videoBytes, bytes);
    QVERIFY(joined.dtsIncreasing);
    QCOMPARE(decodeErrors(target), QString());
    const double expected = durationOf(names);
    QVERIFY2(qAbs(joined.durationS - expected) <= DurationToleranceS,
             qPrintable(QStringLiteral("%1 s joined, %2 s in the parts").arg(joined.durationS).arg(expected)));

    // From 0 to 1, rising only.
    QVERIFY(progress.size() >= 2);
    QCOMPARE(progress.first(), 0.0);
    QCOMPARE(progress.last(), 1.0);
    for (int i = 1; i < progress.size(); ++i)
        QVERIFY(progress.at(i) > progress.at(i - 1));
}

void TestChunkExporter::joinsAudioToo()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    const QString target = out.filePath(QStringLiteral("joined.mp4"));
    MediaJoiner joiner;
    QVERIFY2(joiner.join({media("av.mp4"), media("av.mp4")}, target), qPrintable(joiner.errorString()));

    const MediaInfo part = readMedia(media("av.mp4"));
    const MediaInfo joined = readMedia(target);
    QVERIFY2(joined.error.isEmpty(), qPrintable(joined.error));
    QCOMPARE(joined.streams, 2);
    QCOMPARE(joined.videoPackets, 2 * part.videoPackets);
    QCOMPARE(joined.audioPackets, 2 * part.audioPackets);
    QVERIFY(joined.dtsIncreasing);
    QCOMPARE(decodeErrors(target), QString());
    QVERIFY2(
        qAbs(joined.durationS - 2 * part.durationS) <= DurationToleranceS,
        qPrintable(QStringLiteral("%1 s joined, 2 × %2 s in the parts").arg(joined.durationS).arg(part.durationS)));
}

void TestChunkExporter::joinFailures_data()
{
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("target"); // "free", "existing" or "folderIsAFile"
    QTest::addColumn<double>("cancelAt");
    QTest::addColumn<QString>("expected"); // in the error
    QTest::addColumn<QString>("named");    // the input the error must name, if any

    QTest::newRow("no input") << QStringList{} << "free" << -1.0 << "Nothing to join"
                              << "";
    // With libav's own words for the reason.
    QTest::newRow("missing input") << QStringList{"a.mp4", "missing.mp4"} << "free" << -1.0
                                   << "No such file or directory"
                                   << "missing.mp4";
    QTest::newRow("text file") << QStringList{"a.mp4", "notes.txt"} << "free" << -1.0
                               << "Invalid data found when processing input"
                               << "notes.txt";
    QTest::newRow("audio only") << QStringList{"a.mp4", "tone.m4a"} << "free" << -1.0 << "has no video stream"
                                << "tone.m4a";
    QTest::newRow("other picture size") << QStringList{"a.mp4", "big.mp4"} << "free" << -1.0
                                        << "its video is h264 320x240, the first part's is h264 160x120"
                                        << "big.mp4";
    QTest::newRow("unwritable folder") << QStringList{"a.mp4", "b.mp4"} << "folderIsAFile" << -1.0 << "Cannot create"
                                       << "";
    QTest::newRow("target exists") << QStringList{"a.mp4", "b.mp4"} << "existing" << -1.0 << "already exists"
                                   << "";
    QTest::newRow("cancelled mid-way") << QStringList{"a.mp4", "b.mp4", "a.mp4", "b.mp4"} << "free" << 0.5
                                       << "Cancelled"
                                       << "";
}

void TestChunkExporter::joinFailures()
{
    QFETCH(QStringList, inputs);
    QFETCH(QString, target);
    QFETCH(double, cancelAt);
    QFETCH(QString, expected);
    QFETCH(QString, named);
    REQUIRE_MEDIA();

    QStringList paths;
    for (const QString& name : inputs)
        paths << media(name);
    QTemporaryDir out;
    const QByteArray kept = "an earlier export";
    QVERIFY(writeFile(out.filePath(QStringLiteral("keep.mp4")), kept));
    QString targetPath = out.filePath(QStringLiteral("joined.mp4"));
    if (target == QLatin1String("existing"))
        QVERIFY(writeFile(targetPath, kept));
    if (target == QLatin1String("folderIsAFile")) {
        // Not a folder at all: fails for root too, which writes anywhere else.
        QVERIFY(writeFile(out.filePath(QStringLiteral("folder")), kept));
        targetPath = out.filePath(QStringLiteral("folder/joined.mp4"));
    }
    const QStringList before = entries(out.path());

    MediaJoiner joiner;
    std::atomic_bool cancel{false};
    bool partSeenAtCancel = false;
    joiner.setCancelFlag(&cancel);
    joiner.setProgressCallback([&](double value) {
        if (cancelAt >= 0 && value >= cancelAt && !cancel) {
            partSeenAtCancel = hasPartFile(out.path());
            cancel = true;
        }
    });
    QVERIFY(!joiner.join(paths, targetPath));
    const QString error = joiner.errorString();
    QVERIFY(!error.isEmpty());
    QVERIFY2(error.contains(expected), qPrintable(error));
    if (!named.isEmpty())
        QVERIFY2(error.contains(media(named)), qPrintable(error));
    QCOMPARE(joiner.wasCancelled(), cancelAt >= 0);
    if (cancelAt >= 0)
        QVERIFY2(partSeenAtCancel, "the cancellation came before anything was written");

    // Nothing left behind, nothing else touched.
    QCOMPARE(entries(out.path()), before);
    QVERIFY(!hasPartFile(out.path()));
    QCOMPARE(readAll(out.filePath(QStringLiteral("keep.mp4"))), kept);
    if (target == QLatin1String("existing"))
        QCOMPARE(readAll(targetPath), kept);
    for (const QString& path : paths)
        if (QFileInfo::exists(path))
            QVERIFY(QFileInfo(path).size() > 0);
}

void TestChunkExporter::fileNameFor_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<qlonglong>("startMs");
    QTest::addColumn<qlonglong>("endMs");
    QTest::addColumn<QString>("expected");

    const qlonglong nine = localMs(2024, 5, 1, 9, 0, 0);
    const qlonglong nineTen = localMs(2024, 5, 1, 9, 10, 0);
    QTest::newRow("same day") << "Cam A" << nine << nineTen << "Cam A 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("over midnight") << "Cam A" << localMs(2024, 5, 1, 23, 55, 0) << localMs(2024, 5, 2, 0, 5, 30)
                                   << "Cam A 2024-05-01 23.55.00-2024-05-02 00.05.30.mp4";
    QTest::newRow("no end") << "Cam A" << nine << nine << "Cam A 2024-05-01 09.00.00.mp4";
    QTest::newRow("separators") << "Door/Lobby\\1: east" << nine << nineTen
                                << "Door_Lobby_1_ east 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("control characters") << "Cam\tB\x01\x7f" << nine << nineTen
                                        << "Cam_B__ 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("surrounding whitespace") << "  Gate\n" << nine << nineTen << "Gate 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("leading dots") << "..hidden" << nine << nineTen << "__hidden 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("dot dot") << ".." << nine << nineTen << "__ 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("inner dots stay") << "Cam 1.2" << nine << nineTen << "Cam 1.2 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("reserved on FAT") << "a*b?c\"d<e>f|g" << nine << nineTen
                                     << "a_b_c_d_e_f_g 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("empty") << "" << nine << nineTen << "camera 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("blank") << " \t " << nine << nineTen << "camera 2024-05-01 09.00.00-09.10.00.mp4";
    QTest::newRow("not Latin") << QString::fromUtf8("Câmara Entrada") << nine << nineTen
                               << QString::fromUtf8("Câmara Entrada 2024-05-01 09.00.00-09.10.00.mp4");
    QTest::newRow("very long") << QString(300, QLatin1Char('x')) << nine << nineTen
                               << QString(120, QLatin1Char('x')) + " 2024-05-01 09.00.00-09.10.00.mp4";
}

void TestChunkExporter::fileNameFor()
{
    QFETCH(QString, camera);
    QFETCH(qlonglong, startMs);
    QFETCH(qlonglong, endMs);
    QFETCH(QString, expected);
    QCOMPARE(ChunkExporter::fileNameFor(camera, startMs, endMs), expected);
}

void TestChunkExporter::defaultFolder()
{
    const QString folder = ChunkExporter::defaultFolder();
    QVERIFY(!folder.isEmpty());
    QVERIFY(QDir::isAbsolutePath(folder));
}

void TestChunkExporter::exportsOverHttp()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    const QString folder = out.filePath(QStringLiteral("exports/new")); // created by start()
    ChunkExporter exporter;
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    QSignalSpy failed(&exporter, &ChunkExporter::failed);
    QSignalSpy busyChanged(&exporter, &ChunkExporter::busyChanged);
    QList<qreal> progress;
    connect(&exporter, &ChunkExporter::progressChanged, this,
            [&progress, &exporter] { progress << exporter.progress(); });
    LogCapture log;

    const QStringList urls = {m_server.url("/cam1-a.mp4"), m_server.url("/cam1-b.mp4"), m_server.url("/cam1-a.mp4")};
    QVERIFY(exporter.start(urls, folder, QStringLiteral("Cam A"), m_startMs, m_endMs));
    QVERIFY(exporter.busy());
    QCOMPARE(exporter.progress(), 0.0);
    QCOMPARE(busyChanged.count(), 1);
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(failed.count(), 0);

    const QString expected = QDir(folder).filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.mp4"));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toString(), expected);
    QCOMPARE(exporter.lastPath(), expected);
    QVERIFY(exporter.lastError().isEmpty());
    QVERIFY(!exporter.busy());
    QCOMPARE(busyChanged.count(), 2);
    QCOMPARE(entries(folder), (QStringList{QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.manifest.json"),
                                           QFileInfo(expected).fileName()}));
    QVERIFY(log.contains(QStringLiteral("Export written: ") + expected));

    const QStringList names = {"a.mp4", "b.mp4", "a.mp4"};
    const MediaInfo joined = readMedia(expected);
    QCOMPARE(joined.videoCodec, AV_CODEC_ID_H264);
    QCOMPARE(joined.videoPackets, videoPacketsOf(names));
    QVERIFY(joined.dtsIncreasing);
    QVERIFY(qAbs(joined.durationS - durationOf(names)) <= DurationToleranceS);

    // From 0 to 1, rising only, and through both the download and the joining.
    QVERIFY(progress.size() >= 3);
    for (int i = 1; i < progress.size(); ++i)
        QVERIFY2(progress.at(i) > progress.at(i - 1), qPrintable(QStringLiteral("step %1").arg(i)));
    QVERIFY(progress.first() > 0.0);
    QCOMPARE(progress.last(), 1.0);
    QCOMPARE(exporter.progress(), 1.0);
}

void TestChunkExporter::exportsLocalFiles()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    ChunkExporter exporter;
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    // A file:// URL, a plain path, and the folder as a file:// URL as a QML folder dialog gives it.
    const QStringList urls = {QUrl::fromLocalFile(media("a.mp4")).toString(), media("b.mp4")};
    QVERIFY(
        exporter.start(urls, QUrl::fromLocalFile(out.path()).toString(), QStringLiteral("Cam B"), m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(QFileInfo(exporter.lastPath()).absolutePath(), QFileInfo(out.path()).absoluteFilePath());
    QCOMPARE(readMedia(exporter.lastPath()).videoPackets, videoPacketsOf({"a.mp4", "b.mp4"}));
}

void TestChunkExporter::takenNameGetsNumber()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    const QString name = ChunkExporter::fileNameFor(QStringLiteral("Cam A"), m_startMs, m_endMs);
    QCOMPARE(name, QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.mp4"));
    const QByteArray kept = "an earlier export";
    QVERIFY(writeFile(out.filePath(name), kept));
    QVERIFY(writeFile(out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00 (2).mp4")), kept));

    ChunkExporter exporter;
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    QVERIFY(exporter.start({m_server.url("/cam1-a.mp4")}, out.path(), QStringLiteral("Cam A"), m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(exporter.lastPath(), out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00 (3).mp4")));
    QCOMPARE(readAll(out.filePath(name)), kept);
    QCOMPARE(readAll(out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00 (2).mp4"))), kept);
    QCOMPARE(readMedia(exporter.lastPath()).videoPackets, videoPacketsOf({"a.mp4"}));
}

// The manifest names where the export came from and its chunks, and a recipient checks the file
// with sha256sum alone; an orphaned manifest of an earlier export keeps its name taken.
void TestChunkExporter::manifestChecksWithSha256sum()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    const QByteArray orphan = "{}";
    QVERIFY(writeFile(out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.manifest.json")), orphan));
    ChunkExporter exporter;
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    ChunkExporter::Provenance provenance{QStringLiteral("desk-3"), QStringLiteral("ops"),
                                         QStringLiteral("vms.example:5500"), QStringLiteral("101"),
                                         QStringLiteral("7")};
    exporter.setProvenance(provenance);
    const QStringList urls = {m_server.url("/cam1-a.mp4"), m_server.url("/cam1-b.mp4")};
    QVERIFY(exporter.start(urls, out.path(), QStringLiteral("Cam A"), m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    const QString media = exporter.lastPath();
    QCOMPARE(QFileInfo(media).fileName(), QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00 (2).mp4"));
    QCOMPARE(readAll(out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.manifest.json"))), orphan);

    const QString manifestPath = out.filePath(QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00 (2).manifest.json"));
    const QJsonObject manifest = QJsonDocument::fromJson(readAll(manifestPath)).object();
    QCOMPARE(manifest.value("station").toString(), provenance.station);
    QCOMPARE(manifest.value("operator").toString(), provenance.operatorName);
    QCOMPARE(manifest.value("server").toString(), provenance.server);
    const QJsonObject span = manifest.value("span").toObject();
    QCOMPARE(qlonglong(span.value("fromMs").toDouble()), qlonglong(m_startMs));
    QCOMPARE(qlonglong(span.value("toMs").toDouble()), qlonglong(m_endMs));
    const QJsonArray files = manifest.value("files").toArray();
    QCOMPARE(files.size(), 1);
    const QJsonObject file = files.first().toObject();
    QCOMPARE(file.value("file").toString(), QFileInfo(media).fileName());
    QCOMPARE(file.value("camera").toString(), QStringLiteral("Cam A"));
    QCOMPARE(file.value("streamId").toString(), provenance.streamId);
    QCOMPARE(file.value("deviceId").toString(), provenance.deviceId);
    QCOMPARE(file.value("chunks").toVariant().toStringList(), (QStringList{"cam1-a.mp4", "cam1-b.mp4"}));
    QCOMPARE(qint64(file.value("bytes").toDouble()), QFileInfo(media).size());
    QFile written(media);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QVERIFY(hash.addData(&written));
    QCOMPARE(file.value("sha256").toString().toLatin1(), hash.result().toHex());

    if (QStandardPaths::findExecutable(QStringLiteral("sha256sum")).isEmpty())
        QSKIP("sha256sum is not installed");
    // sha256sum -c with the manifest's line, in the folder: its exit code.
    const auto sha256sumCheck = [&] {
        QProcess check;
        check.setWorkingDirectory(out.path());
        check.start(QStringLiteral("sha256sum"), {QStringLiteral("-c")});
        check.waitForStarted();
        check.write(file.value("sha256sum").toString().toUtf8() + '\n');
        check.closeWriteChannel();
        return check.waitForFinished(TimeoutMs) && check.exitStatus() == QProcess::NormalExit ? check.exitCode() : -1;
    };
    QCOMPARE(sha256sumCheck(), 0);

    // A changed byte is found.
    written.close();
    QVERIFY(written.open(QIODevice::ReadWrite));
    QVERIFY(written.seek(written.size() / 2));
    const char byte = written.peek(1).at(0);
    QVERIFY(written.putChar(char(byte ^ 0x5a)));
    written.close();
    QCOMPARE(sha256sumCheck(), 1);
}

void TestChunkExporter::fetchFailure()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    const QByteArray kept = "an earlier export";
    QVERIFY(writeFile(out.filePath(QStringLiteral("keep.mp4")), kept));
    ChunkExporter exporter;
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    QSignalSpy failed(&exporter, &ChunkExporter::failed);
    LogCapture log;

    const QString missing = m_server.url("/cam1-missing.mp4");
    QVERIFY(exporter.start({m_server.url("/cam1-a.mp4"), missing}, out.path(), "Cam A", m_startMs, m_endMs));
    QVERIFY(failed.wait(TimeoutMs));
    const QString message = failed.first().first().toString();
    QCOMPARE(message, QStringLiteral("Could not fetch %1: HTTP 404 Not Found").arg(missing));
    QCOMPARE(exporter.lastError(), message);
    QVERIFY(exporter.lastPath().isEmpty());
    QVERIFY(!exporter.busy());
    QCOMPARE(finished.count(), 0);
    QVERIFY(log.contains(QStringLiteral("Export failed: ") + message));
    QCOMPARE(entries(out.path()), QStringList{"keep.mp4"});
    QCOMPARE(readAll(out.filePath(QStringLiteral("keep.mp4"))), kept);
}

void TestChunkExporter::refusedStarts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("busy") << "busy"
                          << "An export is already running";
    QTest::newRow("no URLs") << "noUrls"
                             << "No chunks to export";
    QTest::newRow("unsupported URL") << "ftp"
                                     << "not an http, https or file URL";
    QTest::newRow("folder cannot be created") << "folderIsAFile"
                                              << "Cannot create the folder";
}

void TestChunkExporter::refusedStarts()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QTemporaryDir out;
    ChunkExporter exporter;
    QSignalSpy failed(&exporter, &ChunkExporter::failed);
    QSignalSpy busyChanged(&exporter, &ChunkExporter::busyChanged);
    QStringList urls = {m_server.url("/cam1-a.mp4")};
    QString folder = out.path();
    if (kind == QLatin1String("busy")) {
        m_server.route(QStringLiteral("/cam1-stalled.mp4"), stalledChunk());
        QVERIFY(exporter.start({m_server.url("/cam1-stalled.mp4")}, folder, "Cam A", m_startMs, m_endMs));
        busyChanged.clear();
    } else if (kind == QLatin1String("noUrls")) {
        urls.clear();
    } else if (kind == QLatin1String("ftp")) {
        urls << QStringLiteral("ftp://example.invalid/chunk.mp4");
    } else if (kind == QLatin1String("folderIsAFile")) {
        QVERIFY(writeFile(out.filePath(QStringLiteral("file")), "x"));
        folder = out.filePath(QStringLiteral("file/exports"));
    }
    const QStringList before = entries(out.path());

    QVERIFY(!exporter.start(urls, folder, QStringLiteral("Cam A"), m_startMs, m_endMs));
    QVERIFY2(exporter.lastError().contains(expected), qPrintable(exporter.lastError()));
    QCOMPARE(failed.count(), 0);
    QCOMPARE(busyChanged.count(), 0);
    QCOMPARE(exporter.busy(), kind == QLatin1String("busy"));
    QCOMPARE(entries(out.path()), before);
}

void TestChunkExporter::cancelWhileDownloading()
{
    QTemporaryDir out;
    m_server.route(QStringLiteral("/cam1-stalled.mp4"), stalledChunk());
    ChunkExporter exporter;
    QSignalSpy failed(&exporter, &ChunkExporter::failed);
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    const int requests = m_server.requestCount();
    QVERIFY(exporter.start({m_server.url("/cam1-stalled.mp4")}, out.path(), "Cam A", m_startMs, m_endMs));
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requestCount() > requests && exporter.progress() > 0.0, TimeoutMs);

    exporter.cancel();
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("Export cancelled"));
    QCOMPARE(exporter.lastError(), QStringLiteral("Export cancelled"));
    QVERIFY(!exporter.busy());
    QCOMPARE(finished.count(), 0);
    QVERIFY(entries(out.path()).isEmpty());
    // Nothing more comes of it.
    exporter.cancel();
    QTest::qWait(100);
    QCOMPARE(failed.count(), 1);
}

void TestChunkExporter::cancelWhileJoining()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    ChunkExporter exporter;
    QSignalSpy failed(&exporter, &ChunkExporter::failed);
    QSignalSpy finished(&exporter, &ChunkExporter::finished);
    // The download's end (0.8) is reached as the joining starts: cancelling then is cancelling the join.
    bool cancelled = false;
    connect(&exporter, &ChunkExporter::progressChanged, this, [&] {
        if (exporter.progress() >= 0.8 && !cancelled) {
            cancelled = true;
            exporter.cancel();
        }
    });
    QVERIFY(exporter.start({m_server.url("/cam1-a.mp4"), m_server.url("/cam1-b.mp4")}, out.path(), "Cam A", m_startMs,
                           m_endMs));
    QVERIFY(failed.wait(TimeoutMs));
    QVERIFY(cancelled);
    QCOMPARE(failed.first().first().toString(), QStringLiteral("Export cancelled"));
    QCOMPARE(finished.count(), 0);
    QVERIFY(!exporter.busy());
    QVERIFY(entries(out.path()).isEmpty());

    // And the exporter can export again.
    QVERIFY(exporter.start({m_server.url("/cam1-a.mp4")}, out.path(), "Cam A", m_startMs, m_endMs));
    QVERIFY(finished.wait(TimeoutMs));
    QCOMPARE(entries(out.path()), (QStringList{"Cam A 2024-05-01 09.00.00-09.10.00.manifest.json",
                                               "Cam A 2024-05-01 09.00.00-09.10.00.mp4"}));
}

void TestChunkExporter::destroyWhileDownloading()
{
    QTemporaryDir out;
    m_server.route(QStringLiteral("/cam1-stalled.mp4"), stalledChunk());
    auto exporter = std::make_unique<ChunkExporter>();
    const int requests = m_server.requestCount();
    QVERIFY(exporter->start({m_server.url("/cam1-stalled.mp4")}, out.path(), "Cam A", m_startMs, m_endMs));
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requestCount() > requests && exporter->progress() > 0.0, TimeoutMs);
    exporter.reset();
    QTest::qWait(100); // the aborted reply's deferred deletion and events
    QVERIFY(entries(out.path()).isEmpty());
}

void TestChunkExporter::destroyWhileJoining()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    QPointer<ChunkExporter> exporter = new ChunkExporter;
    // Many parts, so that the joining thread is likely still at work when the exporter goes.
    QStringList urls;
    for (int i = 0; i < 20; ++i)
        urls << m_server.url(i % 2 ? "/cam1-a.mp4" : "/cam1-b.mp4");
    connect(exporter.data(), &ChunkExporter::progressChanged, this, [&exporter] {
        if (exporter && exporter->progress() >= 0.8)
            exporter->deleteLater();
    });
    QVERIFY(exporter->start(urls, out.path(), "Cam A", m_startMs, m_endMs));
    QTRY_VERIFY_WITH_TIMEOUT(exporter.isNull(), TimeoutMs);
    // Either the join was stopped and cleaned up, or it had just finished: never a partial file.
    QVERIFY(!hasPartFile(out.path()));
    const QStringList left = entries(out.path());
    QVERIFY(left.size() <= 1);
    if (!left.isEmpty())
        QCOMPARE(readMedia(out.filePath(left.first())).videoPackets, videoPacketsOf({"a.mp4", "b.mp4"}) * 10);
}

// The QML side sees the type, its properties and its functions as the recorded page will use them.
void TestChunkExporter::usableFromQml()
{
    REQUIRE_MEDIA();
    QTemporaryDir out;
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(QStringLiteral("import QtQml 2.15\nimport Native 1.0\n"
                                     "ChunkExporter {\n"
                                     "    property string name: fileNameFor('Cam A', %1, %2)\n"
                                     "    property string folder: defaultFolder()\n"
                                     "    property string done\n"
                                     "    property bool wasBusy: false\n"
                                     "    onBusyChanged: if (busy) wasBusy = true\n"
                                     "    onFinished: done = path\n"
                                     "    function go(urls, folder) { return start(urls, folder, 'Cam A', %1, %2) }\n"
                                     "}")
                          .arg(m_startMs)
                          .arg(m_endMs)
                          .toUtf8(),
                      QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("name").toString(), QStringLiteral("Cam A 2024-05-01 09.00.00-09.10.00.mp4"));
    QCOMPARE(object->property("folder").toString(), ChunkExporter::defaultFolder());

    QVariant started;
    QVERIFY(QMetaObject::invokeMethod(object.data(), "go", Q_RETURN_ARG(QVariant, started),
                                      Q_ARG(QVariant, QStringList{m_server.url("/cam1-a.mp4")}),
                                      Q_ARG(QVariant, QUrl::fromLocalFile(out.path()).toString())));
    QVERIFY(started.toBool());
    QVERIFY(object->property("wasBusy").toBool());
    QTRY_VERIFY_WITH_TIMEOUT(!object->property("done").toString().isEmpty(), TimeoutMs);
    QCOMPARE(object->property("done").toString(), object->property("lastPath").toString());
    QCOMPARE(object->property("progress").toReal(), 1.0);
    QVERIFY(!object->property("busy").toBool());
}

QTEST_GUILESS_MAIN(TestChunkExporter)
#include "tst_chunkexporter.moc"
