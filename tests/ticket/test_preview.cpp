#include "platform/TextRoutines.h"
#include "ticket/TicketPreview.h"

#include <QTest>

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing") << QByteArray() << "";
        QTest::newRow("plain") << QByteArray("GROSS <GROSS> kg") << "GROSS <GROSS> kg";
        QTest::newRow("CR LF lines, last without")
            << QByteArray("TALVOR\r\nNET\r\nEND") << "TALVOR<CR><LF>\nNET<CR><LF>\nEND";
        QTest::newRow("LF alone breaks") << QByteArray("A\nB\n") << "A<LF>\nB<LF>\n";
        QTest::newRow("bare CR does not break") << QByteArray("A\rB") << "A<CR>B";
        QTest::newRow("blank lines kept") << QByteArray("\r\n\r\n") << "<CR><LF>\n<CR><LF>\n";
        QTest::newRow("ESC sequence, named as the log does") << QByteArray("\x1B"
                                                                           "E1\x1B"
                                                                           "F")
                                                             << "<0x1B>E1<0x1B>F";
        QTest::newRow("named control bytes")
            << QByteArray("\x00\x06\x15\x09\x7F", 5) << "<NUL><ACK><NAK><0x09><0x7F>";
        QTest::newRow("bytes from 0x80 up are not read as characters")
            << QByteArray("\x80\xC3\xB1\xFF") << "<0x80><0xC3><0xB1><0xFF>";
    }
    void text()
    {
        QFETCH(QByteArray, bytes);
        QTEST(TicketPreview::text(bytes), "shown");
    }

    // The preview and the traffic log name every byte alike.
    void sameNamesAsTheLog()
    {
        QByteArray all;
        for (int code = 0; code < 256; ++code)
            all.append(char(code));
        QString preview = TicketPreview::text(all);
        QCOMPARE(preview.count(u'\n'), 1); // after the one LF
        preview.remove(u'\n');
        QCOMPARE(preview, QString::fromLatin1(TextRoutines::describeBytes(all)));
    }

    void hexDump_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing") << QByteArray() << "";
        QTest::newRow("short line padded")
            << QByteArray("AB\r") << "00000000  41 42 0D" + QString(13 * 3 + 1, u' ') + "  |AB.|\n";
        QTest::newRow("one full line")
            << QByteArray("TALVOR WEIGHBRID")
            << "00000000  54 41 4C 56 4F 52 20 57  45 49 47 48 42 52 49 44  |TALVOR WEIGHBRID|\n";
        QTest::newRow("second line offset, control and high bytes as dots")
            << QByteArray("0123456789ABCDEF\x1B\x80\xFF~ ", 21)
            << "00000000  30 31 32 33 34 35 36 37  38 39 41 42 43 44 45 46  |0123456789ABCDEF|\n"
               "00000010  1B 80 FF 7E 20" +
                   QString(11 * 3 + 1, u' ') + "  |...~ |\n";
    }
    void hexDump()
    {
        QFETCH(QByteArray, bytes);
        QTEST(TicketPreview::hexDump(bytes), "shown");
    }

    void offsetsBeyondOneLine()
    {
        const QStringList lines = TicketPreview::hexDump(QByteArray(300, 'x')).split(u'\n');
        QCOMPARE(lines.size(), 20); // 19 lines and the empty text after the last break
        QCOMPARE(lines.at(18), QStringLiteral("00000120  78 78 78 78 78 78 78 78  78 78 78 78") +
                                   QString(4 * 3, u' ') + QStringLiteral("  |xxxxxxxxxxxx|"));
        // Every full line is as long as the first, its ASCII column at the same place.
        for (int k = 1; k < 18; ++k)
            QCOMPARE(lines.at(k).indexOf(u'|'), lines.at(0).indexOf(u'|'));
        QCOMPARE(lines.at(18).indexOf(u'|'), lines.at(0).indexOf(u'|'));
    }

    void sha256AndSummary_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("summary");
        QTest::newRow("nothing")
            << QByteArray()
            << "0 bytes, SHA-256 e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("one byte")
            << QByteArray("a")
            << "1 byte, SHA-256 ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb";
        QTest::newRow("abc")
            << QByteArray("abc")
            << "3 bytes, SHA-256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    }
    void sha256AndSummary()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, summary);
        QTEST(TicketPreview::summary(bytes), "summary");
        QCOMPARE(TicketPreview::sha256(bytes), summary.section(u' ', -1));
    }
};

QTEST_GUILESS_MAIN(TestPreview)
#include "test_preview.moc"
