// SPDX-License-Identifier: MIT
// POS documents to ASS subtitle files in the temporary folder, and the time format.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtTest>

#include "logcapture.h"
#include "qmlutils.h"
#include "videotypes.h"

namespace {

const QByteArray header = "[Script Info]\n"
                          "Title: Default POS file\n"
                          "ScriptType: v4.00+\n"
                          "WrapStyle: 0\n"
                          "ScaledBorderAndShadow: yes\n"
                          "YCbCr Matrix: None\n"
                          "\n"
                          "[V4+ Styles]\n"
                          "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
                          "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
                          "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
                          "Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,"
                          "1,2,2,7,10,10,10,1\n"
                          "\n"
                          "[Events]\n"
                          "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QStringList dialogues(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes.mid(header.size())).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestQmlUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void timelines_data();
    void timelines();
    void documentErrors_data();
    void documentErrors();
    void entryErrorsSkipOnlyTheEntry();
    void nothingToShow();
    void replacesTheOldFile();
    void unsafeNames_data();
    void unsafeNames();
    void plantedLinkIsNotFollowed_data();
    void plantedLinkIsNotFollowed();
    void formatDateTime_data();
    void formatDateTime();
    void singletonInQml();

private:
    QTemporaryDir m_temp;
    QmlUtils m_utils;
};

void TestQmlUtils::initTestCase()
{
    registerVideoTypes();
    QVERIFY(m_temp.isValid());
    // The temporary location follows TMPDIR on every call.
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    QCOMPARE(QDir::tempPath(), QDir(m_temp.path()).canonicalPath());
    QCOMPARE(header.size(), 565);
}

void TestQmlUtils::cleanup()
{
    QDir dir(m_temp.path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden))
        dir.remove(name);
}

void TestQmlUtils::timelines_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a gap between two lines")
        << R"({"from": 1000, "to": 9000, "arr": [{"time": 1000, "text": "A"}, {"time": 8000, "text": "B"}]})"
        << QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,A",
                       "Dialogue: 0,0:00:05.00,0:00:07.00,Default,,0,0,0,,",
                       "Dialogue: 0,0:00:07.00,0:00:12.00,Default,,0,0,0,,B"};
    QTest::newRow("overlapping lines")
        << R"({"from": 0, "to": 2000, "arr": [{"time": 0, "text": "A"}, {"time": 1000, "text": "B"}]})"
        << QStringList{"Dialogue: 0,0:00:00.00,0:00:01.00,Default,,0,0,0,,A",
                       "Dialogue: 0,0:00:01.00,0:00:05.00,Default,,0,0,0,,A\\NB",
                       "Dialogue: 0,0:00:05.00,0:00:06.00,Default,,0,0,0,,B"};
    QTest::newRow("hundredths truncated")
        << R"({"from": 0, "to": 1, "arr": [{"time": 1234, "text": "A"}, {"time": 1239, "text": "B"}]})"
        << QStringList{"Dialogue: 0,0:00:01.23,0:00:01.23,Default,,0,0,0,,A",
                       "Dialogue: 0,0:00:01.23,0:00:06.23,Default,,0,0,0,,A\\NB",
                       "Dialogue: 0,0:00:06.23,0:00:06.23,Default,,0,0,0,,B"};
    QTest::newRow("hours, epoch times")
        << R"({"from": 1700000000000, "to": 0, "arr": [{"time": 1700003723004, "text": "late"}]})"
        << QStringList{"Dialogue: 0,1:02:03.00,1:02:08.00,Default,,0,0,0,,late"};
    QTest::newRow("escaped and real line feeds removed")
        << R"({"from": 0, "to": 0, "arr": [{"time": 0, "text": "TOTAL\\n3.50\nCASH"}]})"
        << QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,TOTAL3.50CASH"};
    // Found by fuzzing: a carriage return cut the dialogue line in two.
    QTest::newRow("carriage returns removed")
        << R"({"from": 0, "to": 0, "arr": [{"time": 0, "text": "TOTAL 3.50\r\nCASH\r"}]})"
        << QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,TOTAL 3.50CASH"};
    // Found by fuzzing: times beyond any recording overflowed the conversion to milliseconds.
    QTest::newRow("entry time out of range skipped")
        << R"({"from": 0, "to": 0, "arr": [{"time": 1e300, "text": "far"}, {"time": -1e300, "text": "back"},
                                           {"time": 0, "text": "kept"}]})"
        << QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,kept"};
    QTest::newRow("largest times")
        << R"({"from": -9007199254740992, "to": 0, "arr": [{"time": 9007199254740992, "text": "A"}]})"
        << QStringList{"Dialogue: 0,5003999585:58:01.98,5003999585:58:06.98,Default,,0,0,0,,A"};
    QTest::newRow("UTF-8 text")
        << QString::fromUtf8(R"({"from": 0, "to": 0, "arr": [{"time": 0, "text": "Käse 1,20 €"}]})")
        << QStringList{QString::fromUtf8("Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,Käse 1,20 €")};
}

void TestQmlUtils::timelines()
{
    QFETCH(QString, json);
    QFETCH(QStringList, expected);
    LogCapture log;
    const QString path = m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), json);
    QCOMPARE(path, QDir(m_temp.path()).canonicalPath() + QStringLiteral("/pos.ass"));
    QCOMPARE(log.lines().mid(0, 3), (QStringList{"QString QmlUtils::saveTmpSubtitle(QString, QString)",
                                                 "  name: \"pos.ass\"", "File path: \"" + path + "\""}));
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.startsWith(header));
    QCOMPARE(dialogues(bytes), expected);
}

void TestQmlUtils::documentErrors_data()
{
    QTest::addColumn<QString>("json");
    QTest::addColumn<QString>("warning");
    QTest::newRow("not JSON") << "POS"
                              << "Sub JSON must be object";
    QTest::newRow("an array") << "[{\"from\": 0}]"
                              << "Sub JSON must be object";
    QTest::newRow("no from") << R"({"to": 0, "arr": []})"
                             << "JSON don't have `from` field";
    QTest::newRow("from out of range") << R"({"from": 1e300, "to": 0, "arr": [{"time": 0, "text": "A"}]})"
                                       << "JSON `from` field is not a time";
    QTest::newRow("no to") << R"({"from": 0, "arr": []})"
                           << "JSON don't have `to` field";
    QTest::newRow("no arr") << R"({"from": 0, "to": 0})"
                            << "JSON don't have `arr` field";
}

void TestQmlUtils::documentErrors()
{
    QFETCH(QString, json);
    QFETCH(QString, warning);
    LogCapture log;
    QCOMPARE(m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), json), QString());
    QCOMPARE(log.lines(QtWarningMsg), QStringList{warning});
    QVERIFY(!QFileInfo::exists(m_temp.filePath(QStringLiteral("pos.ass"))));
}

void TestQmlUtils::entryErrorsSkipOnlyTheEntry()
{
    LogCapture log;
    const QString path = m_utils.saveTmpSubtitle(
        QStringLiteral("pos.ass"),
        R"({"from": 0, "to": 0, "arr": [{}, 7, {"text": "no time"}, {"time": 0}, {"time": 0, "text": "kept"}]})");
    QCOMPARE(log.lines(QtWarningMsg), (QStringList{"sub obj empty", "sub obj empty", "sub don't have `time` field",
                                                   "sub don't have `text` field"}));
    QCOMPARE(dialogues(readAll(path)), QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,kept"});
}

void TestQmlUtils::nothingToShow()
{
    // An old file of that name is gone even though nothing new is written.
    const QString old = m_temp.filePath(QStringLiteral("pos.ass"));
    QVERIFY(!m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), R"({"from":0,"to":0,"arr":[{"time":0,"text":"A"}]})")
                 .isEmpty());
    QVERIFY(QFileInfo::exists(old));
    LogCapture log;
    QCOMPARE(m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), R"({"from": 0, "to": 0, "arr": [{}]})"), QString());
    QCOMPARE(log.lines(QtWarningMsg), (QStringList{"sub obj empty", "Empty sub!"}));
    QVERIFY(log.contains(QStringLiteral("Removing old one ...")));
    QVERIFY(!QFileInfo::exists(old));
}

void TestQmlUtils::replacesTheOldFile()
{
    const QString first =
        m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), R"({"from":0,"to":0,"arr":[{"time":0,"text":"first"}]})");
    const QString second =
        m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), R"({"from":0,"to":0,"arr":[{"time":0,"text":"second"}]})");
    QCOMPARE(second, first);
    QCOMPARE(dialogues(readAll(second)), QStringList{"Dialogue: 0,0:00:00.00,0:00:05.00,Default,,0,0,0,,second"});
    // No working files are left behind.
    QCOMPARE(QDir(m_temp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pos.ass"});
}

void TestQmlUtils::unsafeNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << "";
    QTest::newRow("parent folder") << "..";
    QTest::newRow("climbs out") << "../escaped.ass";
    QTest::newRow("sub-folder") << "sub/pos.ass";
    QTest::newRow("absolute") << "/tmp/pos.ass";
    QTest::newRow("backslash") << "..\\pos.ass";
    QTest::newRow("this folder") << ".";
}

void TestQmlUtils::unsafeNames()
{
    QFETCH(QString, name);
    LogCapture log;
    QCOMPARE(m_utils.saveTmpSubtitle(name, R"({"from":0,"to":0,"arr":[{"time":0,"text":"A"}]})"), QString());
    QCOMPARE(log.lines(QtWarningMsg).size(), 1);
    QVERIFY(log.lines(QtWarningMsg).first().contains(QStringLiteral("plain file name")));
    QCOMPARE(QDir(m_temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(!QFileInfo::exists(QFileInfo(m_temp.path()).dir().filePath(QStringLiteral("escaped.ass"))));
}

void TestQmlUtils::plantedLinkIsNotFollowed_data()
{
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("link to a file") << true;
    QTest::newRow("dangling link") << false;
}

void TestQmlUtils::plantedLinkIsNotFollowed()
{
    QFETCH(bool, targetExists);
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    if (targetExists) {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    const QString path = m_temp.filePath(QStringLiteral("pos.ass"));
    QVERIFY(QFile::link(victim, path));

    QCOMPARE(m_utils.saveTmpSubtitle(QStringLiteral("pos.ass"), R"({"from":0,"to":0,"arr":[{"time":0,"text":"A"}]})"),
             QDir(m_temp.path()).canonicalPath() + QStringLiteral("/pos.ass"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QVERIFY(readAll(path).startsWith(header));
    QCOMPARE(QFileInfo::exists(victim), targetExists);
    if (targetExists)
        QCOMPARE(readAll(victim), QByteArray("precious"));
}

void TestQmlUtils::formatDateTime_data()
{
    QTest::addColumn<QString>("ms");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hours to milliseconds") << "3723004"
                                           << "1:02:03.4";
    QTest::newRow("three-digit milliseconds") << "45296789"
                                              << "12:34:56.789";
    QTest::newRow("zero") << "0"
                          << "0:00:00.0";
    QTest::newRow("not a number") << "soon"
                                  << "0:00:00.0";
    QTest::newRow("a day later shows the time of day") << "86400005"
                                                       << "0:00:00.5";
    QTest::newRow("epoch time, UTC") << "1700000000123"
                                     << "22:13:20.123";
}

void TestQmlUtils::formatDateTime()
{
    QFETCH(QString, ms);
    QFETCH(QString, expected);
    QCOMPARE(m_utils.formatDateTime(ms, QStringLiteral("yyyy-MM-dd")), expected);
}

void TestQmlUtils::singletonInQml()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQml 2.15\nimport Native 1.0\n"
                      "QtObject { property string text: QmlUtils.formatDateTime(\"3723004\", \"\") }",
                      QUrl());
    QScopedPointer<QObject> object(component.create());
    QVERIFY2(object, qPrintable(component.errorString()));
    QCOMPARE(object->property("text").toString(), QStringLiteral("1:02:03.4"));
}

QTEST_GUILESS_MAIN(TestQmlUtils)
#include "tst_qmlutils.moc"
