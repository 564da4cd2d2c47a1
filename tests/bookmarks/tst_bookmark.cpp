// SPDX-License-Identifier: MIT
// The bookmark attribute's format: what a station writes reads back the same, and what is not a
// valid bookmark is refused whole, with a reason.
#include <QtTest>

#include "bookmark.h"

class TestBookmark : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        Bookmark written;
        written.id = Bookmark::newId();
        written.streamId = QStringLiteral("3");
        written.startMs = 1714554000123;
        written.endMs = 1714554060000;
        written.title = QStringLiteral("Till 2: «void» after payment");
        written.note = QStringLiteral("Line one\nline two \"quoted\"");
        written.author = QStringLiteral("operator");
        written.createdMs = 1714560000000;
        QVERIFY(Bookmark::isBookmarkName(written.id));
        QString why;
        const std::optional<Bookmark> read = Bookmark::fromAttribute("3", written.id, written.toJson(), &why);
        QVERIFY2(read, qPrintable(why));
        QCOMPARE(read->id, written.id);
        QCOMPARE(read->streamId, written.streamId);
        QCOMPARE(read->startMs, written.startMs);
        QCOMPARE(read->endMs, written.endMs);
        QCOMPARE(read->title, written.title);
        QCOMPARE(read->note, written.note);
        QCOMPARE(read->author, written.author);
        QCOMPARE(read->createdMs, written.createdMs);
        QVERIFY(Bookmark::newId() != written.id);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("reason");
        const QString name = QStringLiteral("bookmark.1");
        QTest::newRow("another attribute")
            << QStringLiteral("2x2") << QByteArray(R"({"bookmark":1,"start":1,"title":"a"})") << "name";
        QTest::newRow("prefix only") << QStringLiteral("bookmark.")
                                     << QByteArray(R"({"bookmark":1,"start":1,"title":"a"})") << "name";
        QTest::newRow("not JSON") << name << QByteArray("{\"bookmark\":1,") << "not JSON";
        QTest::newRow("an array") << name << QByteArray("[1]") << "object";
        QTest::newRow("another version") << name << QByteArray(R"({"bookmark":2,"start":1,"title":"a"})") << "bookmark";
        QTest::newRow("start as text") << name << QByteArray(R"({"bookmark":1,"start":"1","title":"a"})") << "start";
        QTest::newRow("negative start") << name << QByteArray(R"({"bookmark":1,"start":-5,"title":"a"})") << "start";
        QTest::newRow("fractional start") << name << QByteArray(R"({"bookmark":1,"start":1.5,"title":"a"})") << "start";
        QTest::newRow("beyond exact") << name << QByteArray(R"({"bookmark":1,"start":1e300,"title":"a"})") << "start";
        QTest::newRow("end before start")
            << name << QByteArray(R"({"bookmark":1,"start":10,"end":5,"title":"a"})") << "before";
        QTest::newRow("no title") << name << QByteArray(R"({"bookmark":1,"start":10})") << "text";
        QTest::newRow("blank title") << name << QByteArray(R"({"bookmark":1,"start":10,"title":"  "})") << "empty";
        QTest::newRow("note as number") << name << QByteArray(R"({"bookmark":1,"start":10,"title":"a","note":3})")
                                        << "text";
        QTest::newRow("title too long") << name
                                        << (QByteArray(R"({"bookmark":1,"start":10,"title":")") +
                                            QByteArray(Bookmark::MaxTitleLength + 1, 'x') + "\"}")
                                        << "longer";
    }

    void refused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, value);
        QFETCH(QString, reason);
        QString why;
        QVERIFY(!Bookmark::fromAttribute("3", name, value, &why));
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void momentWithoutEnd()
    {
        const std::optional<Bookmark> read = Bookmark::fromAttribute(
            "3", "bookmark.a", R"({"bookmark":1,"start":42,"title":"Door","extra":[1]})", nullptr);
        QVERIFY(read);
        QCOMPARE(read->endMs, 42);
        QVERIFY(read->note.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBookmark)
#include "tst_bookmark.moc"
