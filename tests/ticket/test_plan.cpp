#include "ticket/DownloadPlan.h"

#include <QTest>

using Contents = std::array<QByteArray, SlotTable::kSlotCount>;
Q_DECLARE_METATYPE(Contents)

namespace {
QList<QByteArray> lines(const QStringList& texts)
{
    QList<QByteArray> result;
    for (const QString& t : texts)
        result.append(t.toLatin1() + '\r');
    return result;
}

const QStringList kClearing = {";EFF00-00000000", ";EFF04-00000000", ";EFF08-00000000",
                               ";EFF0C-00000000", ";EFF10-00000000", ";EFF14-00000000",
                               ";EFF18-00000000"};
} // namespace

class TestPlan : public QObject {
    Q_OBJECT
private slots:
    void commands_data()
    {
        QTest::addColumn<Contents>("contents");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("worked example 1")
            << Contents{"ABCDE"}
            << kClearing + QStringList{";E0000-41424344", ";E0004-45FFFFFF", ";EFF00-00000004"} +
                   kClearing.mid(1);
        QTest::newRow("worked example 2")
            << Contents{"ABCDE", {}, "xyz"}
            << kClearing +
                   QStringList{";E0000-41424344", ";E0004-4578797A", ";EFF00-00000004",
                               ";EFF04-00000000", ";EFF08-00050007"} +
                   kClearing.mid(3);
        QTest::newRow("all empty") << Contents{} << kClearing + kClearing;
        QTest::newRow("one byte in slot 7, bytes kept")
            << Contents{{{}, {}, {}, {}, {}, {}, QByteArray(1, '\0')}}
            << kClearing + QStringList{";E0000-00FFFFFF"} + kClearing.mid(0, 6) +
                   QStringList{";EFF18-00000000"};
    }
    void commands()
    {
        QFETCH(Contents, contents);
        QFETCH(QStringList, expected);
        const DownloadPlan plan = makeDownloadPlan(contents);
        QCOMPARE(plan.allCommands(), lines(expected));
    }

    void layout_data()
    {
        QTest::addColumn<Contents>("contents");
        QTest::addColumn<QStringList>("pointers"); // start + end text per slot
        QTest::addColumn<QString>("lastData");
        QTest::newRow("multiple of 4, no fill")
            << Contents{"ABCD", "\x01\x02\x03\x04"} << QStringList{"00000003", "00040007"}
            << ";E0004-01020304";
        QTest::newRow("gap slots leave no gap")
            << Contents{"AB", {}, {}, "C", {}, "DEF"}
            << QStringList{"00000001", "00000000", "00000000", "00020002", "00000000", "00030005"}
            << ";E0004-4546FFFF";
        QTest::newRow("exactly 32768 bytes")
            << Contents{QByteArray(32767, char(0xA5)), {}, {}, {}, {}, {}, "\xFE"}
            << QStringList{"00007FFE", "00000000", "00000000", "00000000",
                           "00000000", "00000000", "7FFF7FFF"}
            << ";E7FFC-A5A5A5FE";
    }
    void layout()
    {
        QFETCH(Contents, contents);
        QFETCH(QStringList, pointers);
        QFETCH(QString, lastData);
        const DownloadPlan plan = makeDownloadPlan(contents);
        QByteArray image;
        for (const QByteArray& c : contents)
            image += c;
        QCOMPARE(plan.image, image);
        QCOMPARE(plan.dataBlocks.size(), (image.size() + 3) / 4);
        QCOMPARE(plan.dataBlocks.last().position, plan.dataBlocks.size() * 4 - 3);
        QCOMPARE(plan.dataBlocks.last().command, lastData.toLatin1() + '\r');
        while (pointers.size() < SlotTable::kSlotCount)
            pointers.append(QStringLiteral("00000000"));
        for (int s = 0; s < SlotTable::kSlotCount; ++s) {
            QCOMPARE(plan.startText[s] + plan.endText[s], pointers[s]);
            QCOMPARE(plan.pointerCommands[s], lines({kClearing[s].left(7) + pointers[s]})[0]);
        }
    }
};

QTEST_GUILESS_MAIN(TestPlan)
#include "test_plan.moc"
