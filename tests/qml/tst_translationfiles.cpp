// SPDX-License-Identifier: MIT
// Every translatable text of both programs has a finished translation in every language file:
// the texts are extracted afresh from the QML sources and compared with the files.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type;
};

QList<Message> readTs(const QString& path, QString* error)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            current = Message{context, QString(), QString(), QString()};
        } else if (xml.name() == QLatin1String("source")) {
            current.source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            current.type = xml.attributes().value(QStringLiteral("type")).toString();
            current.translation = xml.readElementText();
            messages << current;
        }
    }
    if (xml.hasError())
        *error = path + QStringLiteral(": ") + xml.errorString();
    return messages;
}

QSet<QString> keys(const QList<Message>& messages)
{
    QSet<QString> result;
    for (const Message& message : messages)
        result.insert(message.context + QLatin1Char('|') + message.source);
    return result;
}

QStringList placeholders(const QString& text)
{
    QStringList found;
    auto it = QRegularExpression(QStringLiteral("%\\d+")).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    return found;
}

} // namespace

class tst_TranslationFiles : public QObject
{
    Q_OBJECT

private slots:
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();
};

void tst_TranslationFiles::everyTextIsTranslated_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("files");

    const QString root = QStringLiteral(SOURCE_ROOT);
    // The client's texts are in its QML and in the event class titles of the events room.
    QTest::newRow("client") << QStringList{root + QStringLiteral("/qml"), root + QStringLiteral("/events")}
                            << QStringList{root + QStringLiteral("/qml/translations/client.ts"),
                                           root + QStringLiteral("/qml/translations/client_en.ts"),
                                           root + QStringLiteral("/qml/translations/client_es.ts"),
                                           root + QStringLiteral("/qml/translations/client_pt.ts")};
    QTest::newRow("tavrel") << QStringList{root + QStringLiteral("/companion/main.qml")}
                            << QStringList{root + QStringLiteral("/companion/translations/tavrel_es.ts"),
                                           root + QStringLiteral("/companion/translations/tavrel_pt.ts")};
}

void tst_TranslationFiles::everyTextIsTranslated()
{
    QFETCH(QStringList, sources);
    QFETCH(QStringList, files);

    const QString lupdate = QStringLiteral(LUPDATE_BINARY);
    if (lupdate.isEmpty())
        QSKIP("lupdate is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString extracted = dir.filePath(QStringLiteral("extracted.ts"));
    QProcess run;
    run.start(lupdate, QStringList{QStringLiteral("-silent"), QStringLiteral("-no-obsolete")} + sources +
                           QStringList{QStringLiteral("-ts"), extracted});
    QVERIFY2(run.waitForFinished(60000), "lupdate finishes");
    QVERIFY2(run.exitCode() == 0, run.readAllStandardError().constData());

    QString error;
    const QSet<QString> expected = keys(readTs(extracted, &error));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(!expected.isEmpty(), "the sources hold translatable texts");

    for (const QString& path : qAsConst(files)) {
        const QList<Message> messages = readTs(path, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QSet<QString> present = keys(messages);
        QSet<QString> missing = expected;
        missing.subtract(present);
        QVERIFY2(missing.isEmpty(),
                 qPrintable(path + QStringLiteral(" lacks: ") + QStringList(missing.values()).join(", ")));
        QSet<QString> stale = present;
        stale.subtract(expected);
        QVERIFY2(stale.isEmpty(),
                 qPrintable(path + QStringLiteral(" still has: ") + QStringList(stale.values()).join(", ")));
        for (const Message& message : messages) {
            const QString where = path + QStringLiteral(": ") + message.context + QStringLiteral(" \"") +
                                  message.source + QLatin1Char('"');
            QVERIFY2(message.type.isEmpty(), qPrintable(where + QStringLiteral(" is ") + message.type));
            QVERIFY2(!message.translation.isEmpty(), qPrintable(where + QStringLiteral(" has no translation")));
            QVERIFY2(placeholders(message.translation) == placeholders(message.source),
                     qPrintable(where + QStringLiteral(" changes its placeholders")));
        }
    }
}

QTEST_GUILESS_MAIN(tst_TranslationFiles)

#include "tst_translationfiles.moc"
