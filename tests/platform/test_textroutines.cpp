#include "platform/TextRoutines.h"

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
};

QTEST_GUILESS_MAIN(TestTextRoutines)
#include "test_textroutines.moc"
