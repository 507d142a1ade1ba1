#include "ticket/DownloadProgress.h"

#include <QTest>

using namespace std::chrono_literals;

class TestProgress : public QObject {
    Q_OBJECT
private slots:
    void text_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("elapsedMs");
        QTest::addColumn<QString>("shown");
        QTest::newRow("nothing done yet") << 0LL << 8206LL << 5000LL << "0 %";
        QTest::newRow("under a second: no rate yet") << 500LL << 1000LL << 999LL << "50 %";
        QTest::newRow("one second: rate known") << 500LL << 1000LL << 1000LL << "50 % - 0:01 left";
        // 37 of 100 after 74 s: 63 left at 2 s each, exactly 2:06.
        QTest::newRow("exact seconds stay") << 37LL << 100LL << 74000LL << "37 % - 2:06 left";
        // One millisecond more leaves 126.0017 s: rounded up.
        QTest::newRow("part of a second counts whole")
            << 37LL << 100LL << 74001LL << "37 % - 2:07 left";
        QTest::newRow("share floored") << 3799LL << 10000LL << 10000LL << "37 % - 0:17 left";
        QTest::newRow("just below all is 99 %")
            << 8205LL << 8206LL << 14000LL << "99 % - 0:01 left";
        QTest::newRow("all done") << 8206LL << 8206LL << 14000LL << "100 %";
        QTest::newRow("all done at once") << 8206LL << 8206LL << 0LL << "100 %";
        QTest::newRow("seconds padded") << 1LL << 2LL << 5000LL << "50 % - 0:05 left";
        QTest::newRow("minutes not padded") << 1LL << 11LL << 60000LL << "9 % - 10:00 left";
        QTest::newRow("hours") << 1LL << 100LL << 37623LL << "1 % - 1:02:05 left";
        QTest::newRow("more than done is all done") << 9000LL << 8206LL << 1000LL << "100 %";
        QTest::newRow("nothing to do") << 0LL << 0LL << 1000LL << "0 %";
        QTest::newRow("large counts do not overflow")
            << (1LL << 40) << (1LL << 42) << 3600000LL << "25 % - 3:00:00 left";
    }
    void text()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        QFETCH(qint64, elapsedMs);
        QTEST(DownloadProgress::text(done, total, std::chrono::milliseconds(elapsedMs)), "shown");
    }
};

QTEST_GUILESS_MAIN(TestProgress)
#include "test_progress.moc"
