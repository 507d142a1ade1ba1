#include "ticket/TicketSlots.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSlots : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void spaceTexts_data()
    {
        QTest::addColumn<QList<int>>("sizes"); // per slot, 0 = not loaded
        QTest::addColumn<int>("removed");      // a slot removed afterwards, 0 = none
        QTest::addColumn<QString>("free");
        QTest::addColumn<QString>("used");
        QTest::addColumn<QString>("size1");
        QTest::addColumn<qint32>("freeSpace");
        QTest::addColumn<bool>("anyInUse");
        QTest::newRow("1234 alone") << QList<int>{1234} << 0 << " 31534"
                                    << " 1234"
                                    << " 1234" << 31534 << true;
        QTest::newRow("20000 + 13000") << QList<int>{20000, 0, 0, 0, 0, 13000} << 0 << "-232"
                                       << " 33000"
                                       << " 20000" << -232 << true;
        QTest::newRow("remove one of two") << QList<int>{20000, 0, 0, 0, 0, 13000} << 1 << " 19768"
                                           << " 13000"
                                           << "" << 19768 << true;
        QTest::newRow("remove the only one") << QList<int>{1234} << 1 << " 32768"
                                             << " 0"
                                             << "" << 32768 << false;
        QTest::newRow("the last slot only") << QList<int>{0, 0, 0, 0, 0, 0, 1} << 0 << " 32767"
                                            << " 1"
                                            << "" << 32767 << true;
    }
    void spaceTexts()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, removed);
        TicketSlots ticketSlots;
        for (int s = 1; s <= sizes.size(); ++s) {
            if (sizes[s - 1] == 0)
                continue;
            QString error;
            const QString path =
                writeFile(QStringLiteral("t%1.prn").arg(s), QByteArray(sizes[s - 1], 'x'));
            QVERIFY2(ticketSlots.load(s, path, &error), qPrintable(error));
            QCOMPARE(ticketSlots.path(s), path);
        }
        if (removed) {
            ticketSlots.remove(removed);
            QCOMPARE(ticketSlots.path(removed), QString());
        }
        QTEST(ticketSlots.freeSpaceText(), "free");
        QTEST(ticketSlots.usedSpaceText(), "used");
        QTEST(ticketSlots.sizeText(1), "size1");
        QTEST(ticketSlots.freeSpace(), "freeSpace");
        QTEST(ticketSlots.anyInUse(), "anyInUse");
    }

    void fileNameText_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        const QString p30 = "/home/op/tickets/gross/net.prn";
        QTest::newRow("30 characters") << p30 << p30;
        QTest::newRow("31 characters") << "/" + p30 << "...me/op/tickets/gross/net.prn";
        QTest::newRow("short") << "/t.prn"
                               << "/t.prn";
    }
    void fileNameText()
    {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        QCOMPARE(TicketSlots::shortFileName(path), shown);
        QVERIFY(shown.size() <= TicketSlots::kFileNameWidth);
    }

    void allByteValuesKept()
    {
        QByteArray bytes;
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
        TicketSlots ticketSlots;
        QString error;
        QVERIFY(ticketSlots.load(4, writeFile("all.prn", bytes), &error));
        QCOMPARE(ticketSlots.content(4), bytes);
        QCOMPARE(ticketSlots.contents()[3], bytes);
        QCOMPARE(ticketSlots.sizeText(4), " 256");
    }

    // An empty file shows as loaded (size " 0", removable) but leaves nothing to download.
    void emptyFile()
    {
        TicketSlots ticketSlots;
        QString error;
        const QString path = writeFile("empty.txt", {});
        QVERIFY(ticketSlots.load(2, path, &error));
        QVERIFY(ticketSlots.isLoaded(2));
        QCOMPARE(ticketSlots.path(2), path);
        QVERIFY(!ticketSlots.inUse(2));
        QVERIFY(!ticketSlots.anyInUse());
        QCOMPARE(ticketSlots.sizeText(2), " 0");
        QCOMPARE(ticketSlots.usedSpaceText(), " 0");
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("directory") << m_dir.path();
        QTest::newRow("missing") << m_dir.filePath("no-such.prn");
        // A name is text, never a place for the message's numbers.
        QTest::newRow("too large, %2 in its name")
            << writeFile("big%2.prn", QByteArray(TicketSlots::kMaxFileSize + 1, 'x'));
    }
    void unreadableFile()
    {
        QFETCH(QString, path);
        TicketSlots ticketSlots;
        const QString earlier = writeFile("earlier.prn", "ABC");
        QString error;
        QVERIFY(ticketSlots.load(5, earlier, &error));
        QVERIFY(!ticketSlots.load(5, path, &error));
        QVERIFY2(error.contains(path) && error.size() > path.size() + 20, qPrintable(error));
        QCOMPARE(ticketSlots.content(5), QByteArray("ABC"));
        QCOMPARE(ticketSlots.path(5), earlier);
    }
};

QTEST_GUILESS_MAIN(TestSlots)
#include "test_slots.moc"
