// SPDX-License-Identifier: MIT
#include <QtTest>

#include "templateexpansion.h"

Q_DECLARE_METATYPE(std::string)

class TestTemplateExpansion : public QObject
{
    Q_OBJECT

private slots:
    void expands_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("warnedNames");

        QTest::newRow("variable") << "a{EQU}b"
                                  << "a=b" << QStringList();
        QTest::newRow("adjacent variables") << "{EQU}{SMC}"
                                            << "=;" << QStringList();
        QTest::newRow("url") << "av://lavfi:testsrc2{EQU}size{EQU}640x360:rate{EQU}25"
                             << "av://lavfi:testsrc2=size=640x360:rate=25" << QStringList();
        QTest::newRow("layout example") << "a{EQU}1{SMC}b{EQU}2"
                                        << "a=1;b=2" << QStringList();
        QTest::newRow("unknown alone") << "{FOO}"
                                       << "" << QStringList{"FOO"};
        QTest::newRow("unknown twice") << "x{FOO}y{FOO}"
                                       << "xy" << QStringList{"FOO", "FOO"};
        QTest::newRow("names are case-sensitive") << "{equ}"
                                                  << "" << QStringList{"equ"};
        QTest::newRow("section kept") << "x[[{EQU}y]]"
                                      << "x=y" << QStringList();
        QTest::newRow("section with unknown") << "x[[;user={USER}]]"
                                              << "x" << QStringList{"USER"};
        QTest::newRow("section without reference") << "[[abc]]"
                                                   << "" << QStringList();
        QTest::newRow("sections matched separately") << "[[a]][[{SMC}]]"
                                                     << ";" << QStringList();
        QTest::newRow("section with known and unknown") << "[[{EQU}{NOPE}]]"
                                                        << "=" << QStringList{"NOPE"};
        QTest::newRow("unclosed brace") << "{EQU"
                                        << "{EQU" << QStringList();
        QTest::newRow("character outside names") << "{a-b}"
                                                 << "{a-b}" << QStringList();
        QTest::newRow("empty braces") << "{}"
                                      << "{}" << QStringList();
        QTest::newRow("empty section") << "[[]]"
                                       << "[[]]" << QStringList();
        QTest::newRow("section across a line break") << "[[a\n{EQU}]]"
                                                     << "[[a\n=]]" << QStringList();
        QTest::newRow("plain text") << "rtsp://cam/stream?x=1"
                                    << "rtsp://cam/stream?x=1" << QStringList();
        QTest::newRow("nested braces") << "{{EQU}}"
                                       << "{=}" << QStringList();
        // The scan restarts from the start: the first replacement forms a new reference.
        QTest::newRow("reference formed by replacement") << "{{FOO}EQU}"
                                                         << "=" << QStringList{"FOO"};
        QTest::newRow("utf-8 kept") << "café{EQU}ü"
                                    << "café=ü" << QStringList();
    }

    void expands()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QStringList, warnedNames);
        for (const QString& name : warnedNames)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("Unkow variable ' \"%1\" '!").arg(name)));
        const std::string input = text.toStdString();
        const std::string result = expandTemplate(input, TemplateVariables{});
        QCOMPARE(QString::fromStdString(result), expected);
        QCOMPARE(QString::fromStdString(input), text); // the input is a copy
    }

    void mapValuesWinOverBuiltIns()
    {
        const TemplateVariables vars{{"EQU", ":"}, {"USER", "u"}};
        QCOMPARE(QString::fromStdString(expandTemplate("a{EQU}b[[@{USER}]]", vars)), QStringLiteral("a:b@u"));
    }

    void passesCountWhatTheyDid()
    {
        std::string text = "[[a]][[{EQU}]]{SMC}";
        QCOMPARE(expandTemplateSections(text, {}), 2);
        QCOMPARE(QString::fromStdString(text), QStringLiteral("={SMC}"));
        QTest::ignoreMessage(QtWarningMsg, "Unkow variable ' \"X\" '!");
        text = "{SMC}{X}{EQU}";
        QCOMPARE(expandTemplateVariables(text, {}), 2);
        QCOMPARE(QString::fromStdString(text), QStringLiteral(";="));
    }

    void selfReferencingValueStops()
    {
        // A value holding its own reference grows the text for ever unless the work is bounded.
        const TemplateVariables vars{{"A", "x{A}"}};
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("stopped after .* replacements"));
        const std::string result = expandTemplate("{A}", vars);
        QVERIFY(result.size() > 100);
        QVERIFY(result.rfind("x{A}") == result.size() - 4);
    }

    void overlongTextIsLeftAsIs()
    {
        const std::string text = std::string(kMaxTemplateLength + 1, 'a') + "{EQU}";
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("left unexpanded"));
        QCOMPARE(expandTemplate(text, {}), text);
    }
};

QTEST_GUILESS_MAIN(TestTemplateExpansion)
#include "tst_templateexpansion.moc"
