#include "platform/SystemNames.h"
#include "platform/TextRoutines.h"

#include <QFile>
#include <QTemporaryDir>

#include <QTest>

class TestTextRoutines : public QObject {
    Q_OBJECT
private slots:
    void stripControlChars_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CR LF in the middle") << QByteArray("ab\r\ncd") << QByteArray("abcd");
        QTest::newRow("NUL tail") << QByteArray("V1.2\0\0\0", 7) << QByteArray("V1.2");
        QTest::newRow("others kept") << QByteArray("\x06x\ty\x15") << QByteArray("\x06x\ty\x15");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void stripControlChars()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(TextRoutines::stripControlChars(text), expected);
        QCOMPARE(TextRoutines::stripControlChars(QString::fromLatin1(text)),
                 QString::fromLatin1(expected));
    }

    void numberTextAndPadHex4()
    {
        QCOMPARE(TextRoutines::numberText(1234), QStringLiteral(" 1234"));
        QCOMPARE(TextRoutines::numberText(0), QStringLiteral(" 0"));
        QCOMPARE(TextRoutines::numberText(-232), QStringLiteral("-232"));
        QCOMPARE(TextRoutines::padHex4(QStringLiteral("C")), QStringLiteral("000C"));
        QCOMPARE(TextRoutines::padHex4(QStringLiteral("7FF")), QStringLiteral("07FF"));
        QCOMPARE(TextRoutines::padHex4(QString()), QString());
        QCOMPARE(TextRoutines::padHex4(QStringLiteral("12345")), QStringLiteral("12345"));
    }

    void csvLine_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << QStringList{"12345", "V2.05", "stored", "2"}
                               << "12345,V2.05,stored,2\r\n";
        QTest::newRow("empty fields kept") << QStringList{"", "a", ""} << ",a,\r\n";
        QTest::newRow("comma") << QStringList{"COM 1, 19200 baud", "x"}
                               << "\"COM 1, 19200 baud\",x\r\n";
        QTest::newRow("quotes doubled") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"\r\n";
        QTest::newRow("line breaks") << QStringList{"a\nb", "c\rd"} << "\"a\nb\",\"c\rd\"\r\n";
        QTest::newRow("blanks at the ends")
            << QStringList{" a", "b ", "c d"} << "\" a\",\"b \",c d\r\n";
        QTest::newRow("non-ASCII as is") << QStringList{"B\u00e1scula"} << "B\u00e1scula\r\n";
    }
    void csvLine()
    {
        QFETCH(QStringList, fields);
        QTEST(TextRoutines::csvLine(fields), "line");
    }

    // What a spreadsheet would run as a formula is made text; nothing else changes.
    void csvText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::newRow("=") << QStringLiteral("=1+2") << QStringLiteral("'=1+2");
        QTest::newRow("+") << QStringLiteral("+41 79") << QStringLiteral("'+41 79");
        QTest::newRow("-") << QStringLiteral("-7") << QStringLiteral("'-7");
        QTest::newRow("@") << QStringLiteral("@SUM(A1)") << QStringLiteral("'@SUM(A1)");
        QTest::newRow("tab") << QStringLiteral("\t=1") << QStringLiteral("'\t=1");
        QTest::newRow("CR") << QStringLiteral("\r=1") << QStringLiteral("'\r=1");
        QTest::newRow("inside") << QStringLiteral("V2=05") << QStringLiteral("V2=05");
        QTest::newRow("blank first") << QStringLiteral(" =1") << QStringLiteral(" =1");
        QTest::newRow("empty") << QStringLiteral("") << QStringLiteral("");
    }
    void csvText()
    {
        QFETCH(QString, text);
        QTEST(TextRoutines::csvText(text), "cell");
    }

    // A file name is bytes: every name comes back byte for byte, and the file opens by it.
    void systemNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("text"); // {xx}: the byte xx kept as U+DCxx
        QTest::newRow("ASCII") << QByteArray("gross.prn") << QStringLiteral("gross.prn");
        QTest::newRow("UTF-8") << QByteArray("bäscula 🚚.prn") << QStringLiteral("bäscula 🚚.prn");
        QTest::newRow("Latin-1 byte")
            << QByteArray("b\xe1scula.prn") << QStringLiteral("b{e1}scula.prn");
        QTest::newRow("cut sequence") << QByteArray("a\xc3") << QStringLiteral("a{c3}");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QStringLiteral("{c0}{af}");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xa0\x80") << QStringLiteral("{ed}{a0}{80}");
        QTest::newRow("past U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("{f4}{90}{80}{80}");
    }
    void systemNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, text);
        for (qsizetype at = text.indexOf(u'{'); at >= 0; at = text.indexOf(u'{'))
            text.replace(at, 4, QChar(char16_t(0xDC00 + text.mid(at + 1, 2).toInt(nullptr, 16))));
        QCOMPARE(SystemNames::fromBytes(name), text);
        QCOMPARE(SystemNames::toBytes(text), name);

        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
        FILE* file = std::fopen(path.constData(), "wb");
        QVERIFY(file);
        std::fputs("ticket", file);
        std::fclose(file);
        QFile opened;
        QString error;
        QVERIFY2(SystemNames::openForReading(opened, SystemNames::fromBytes(path), &error),
                 qPrintable(error));
        QCOMPARE(opened.readAll(), QByteArray("ticket"));
        QVERIFY(!SystemNames::openForReading(opened, SystemNames::fromBytes(path + 'x'), &error));
        QCOMPARE(error, QStringLiteral("No such file or directory"));
    }
};

QTEST_GUILESS_MAIN(TestTextRoutines)
#include "test_textroutines.moc"
