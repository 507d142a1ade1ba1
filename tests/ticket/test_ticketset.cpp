#include "ticket/TicketSet.h"
#include "ticket/TicketSlots.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
using Paths = QList<QString>; // per slot from 1; "" = no file

TicketSet setOf(const Paths& paths)
{
    TicketSet set;
    for (int i = 0; i < paths.size(); ++i)
        set.paths[i] = paths[i];
    return set;
}

Paths pathsOf(const TicketSet& set)
{
    return Paths(set.paths.begin(), set.paths.end());
}
} // namespace

class TestTicketSet : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    // {set} stands for the set file's folder, {other} for a folder beside it.
    QString expand(QString text) const
    {
        return text.replace(QStringLiteral("{set}"), m_dir.filePath(QStringLiteral("sets")))
            .replace(QStringLiteral("{other}"), m_dir.filePath(QStringLiteral("other")));
    }
    QString setPath(const QString& name = QStringLiteral("a.tkset")) const
    {
        return m_dir.filePath(QStringLiteral("sets/") + name);
    }
    QString writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!TestFiles::write(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("sets"))));
    }

    void roundTrip_data()
    {
        QTest::addColumn<Paths>("paths");
        QTest::addColumn<QString>("file"); // after [TicketSet], lines joined by CRLF
        QTest::newRow("no file") << Paths{} << "";
        QTest::newRow("beside the set, relative")
            << Paths{"{set}/gross-net-tare.prn"} << "Slot1=gross-net-tare.prn";
        QTest::newRow("below the set, relative; empty slots left out")
            << Paths{"", "", "{set}/tickets/truck.prn", "", "", "", "{set}/simple.txt"}
            << "Slot3=tickets/truck.prn\r\nSlot7=simple.txt";
        QTest::newRow("elsewhere, absolute") << Paths{"", "{other}/t.prn"} << "Slot2={other}/t.prn";
        QTest::newRow("a folder whose name only starts like the set's is elsewhere")
            << Paths{"{set}-old/t.prn"} << "Slot1={set}-old/t.prn";
        QTest::newRow("non-ASCII names in UTF-8")
            << Paths{"", "", "", "", "{set}/B\u00e1scula/ticket \u00f1 \u20ac.prn"}
            << "Slot5=B\u00e1scula/ticket \u00f1 \u20ac.prn";
        QTest::newRow("blanks at the ends kept by quotes")
            << Paths{"", "", "", "", "", "{set}/ pad .prn"} << "Slot6=\" pad .prn\"";
        QTest::newRow("a name in quotes keeps them") << Paths{"{set}/\"q\""} << "Slot1=\"\"q\"\"";
        QTest::newRow("path cleaned") << Paths{"{set}/x/../t.prn"} << "Slot1=t.prn";
    }
    void roundTrip()
    {
        QFETCH(Paths, paths);
        QFETCH(QString, file);
        for (QString& p : paths)
            p = expand(p);
        QString error;
        QVERIFY2(TicketSetFile::write(setPath(), setOf(paths), &error), qPrintable(error));
        QString expected = QStringLiteral("[TicketSet]\r\n") + expand(file);
        if (!file.isEmpty())
            expected += QStringLiteral("\r\n");
        QCOMPARE(TestFiles::read(setPath()), expected.toUtf8());

        TicketSet read;
        QVERIFY2(TicketSetFile::read(setPath(), &read, &error), qPrintable(error));
        for (QString& p : paths)
            p = p.isEmpty() ? p : QDir::cleanPath(p);
        paths.resize(SlotTable::kSlotCount);
        QCOMPARE(pathsOf(read), paths);
    }

    // What a person may write by hand.
    void readsHandWritten_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Paths>("paths");
        QTest::newRow("LF line ends, comments, blanks, any case")
            << QByteArray(
                   "; weighbridge 2\n# tickets\n\n [ticketset] \n  slot2 =  b.prn  \nSLOT4=\n")
            << Paths{"", "{set}/b.prn"};
        QTest::newRow("byte order mark, CRLF, no end on the last line")
            << QByteArray("\xEF\xBB\xBF[TicketSet]\r\nSlot1=a.prn") << Paths{"{set}/a.prn"};
        QTest::newRow("up and out of the folder, absolute")
            << expand("[TicketSet]\nSlot1=../other/a.prn\nSlot7={other}/b.prn\n").toUtf8()
            << Paths{"{other}/a.prn", "", "", "", "", "", "{other}/b.prn"};
        QTest::newRow("only the section") << QByteArray("[TicketSet]") << Paths{};
        QTest::newRow("quoted with blanks")
            << QByteArray("[TicketSet]\nSlot3=\" a b \"\n") << Paths{"", "", "{set}/ a b "};
        QTest::newRow("an '=' in the value")
            << QByteArray("[TicketSet]\nSlot1=a=b.prn\n") << Paths{"{set}/a=b.prn"};
        QTest::newRow("written on Windows")
            << QByteArray("[TicketSet]\r\nSlot1=..\\other\\a.prn\r\n") << Paths{"{other}/a.prn"};
    }
    void readsHandWritten()
    {
        QFETCH(QByteArray, text);
        QFETCH(Paths, paths);
        writeFile(setPath(), text);
        TicketSet read;
        QString error;
        QVERIFY2(TicketSetFile::read(setPath(), &read, &error), qPrintable(error));
        for (QString& p : paths)
            p = expand(p);
        paths.resize(SlotTable::kSlotCount);
        QCOMPARE(pathsOf(read), paths);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("text"); // a null array: no file at all
        QTest::addColumn<QString>("fault");
        QTest::newRow("no file") << QByteArray() << "could not be read: No such file";
        QTest::newRow("empty file") << QByteArray("") << "it has no [TicketSet] section.";
        QTest::newRow("another section only")
            << QByteArray("[Tickets]\nSlot1=a.prn\n")
            << "line 1: unknown section [Tickets]; a ticket set has only [TicketSet].";
        QTest::newRow("another section after it")
            << QByteArray("[TicketSet]\nSlot1=a.prn\n[More]\n") << "line 3: unknown section [More]";
        QTest::newRow("a second section")
            << QByteArray("[TicketSet]\r\nSlot1=a.prn\r\n[TICKETSET]\r\n")
            << "line 3: a second [TicketSet] section (the first is on line 1).";
        QTest::newRow("section not closed")
            << QByteArray("[TicketSet\nSlot1=a.prn\n")
            << "line 1: the section name [TicketSet has no closing ].";
        QTest::newRow("a slot before the section")
            << QByteArray("Slot1=a.prn\n[TicketSet]\n")
            << "line 1: Slot1 stands before the [TicketSet] section.";
        QTest::newRow("slot 8") << QByteArray("[TicketSet]\nSlot8=a.prn\n")
                                << "line 2: Slot8 names no slot; the slots are Slot1 to Slot7.";
        QTest::newRow("slot 0") << QByteArray("[TicketSet]\nSlot0=a.prn\n")
                                << "line 2: Slot0 names no slot";
        QTest::newRow("slot 01") << QByteArray("[TicketSet]\nSlot01=a.prn\n")
                                 << "line 2: Slot01 names no slot";
        QTest::newRow("slot 17") << QByteArray("[TicketSet]\nSlot17=a.prn\n")
                                 << "line 2: Slot17 names no slot";
        QTest::newRow("unknown key")
            << QByteArray("[TicketSet]\nName=Plant 2\n")
            << "line 2: unknown key \"Name\"; a ticket set has only Slot1 to Slot7.";
        QTest::newRow("no key") << QByteArray("[TicketSet]\n=a.prn\n")
                                << "line 2: there is no key before the '='.";
        QTest::newRow("a slot twice") << QByteArray("[TicketSet]\nSlot2=a.prn\n\nslot2=\n")
                                      << "line 4: Slot2 is given twice (first on line 2).";
        QTest::newRow("not key=value")
            << QByteArray("[TicketSet]\nSlot1 a.prn\n")
            << "line 2: \"Slot1 a.prn\" is not a key=value line, a [section], a comment or blank.";
        QTest::newRow("long bad line cut")
            << QByteArray("[TicketSet]\n" + QByteArray(100, 'x') + "\n")
            << "line 2: \"" + QString(37, u'x') + "...\" is not a key=value line";
        QTest::newRow("not UTF-8")
            << QByteArray("[TicketSet]\nSlot1=b\xE1scula.prn\n") << "line 2: it is not UTF-8 text.";
        QTest::newRow("a NUL byte") << QByteArray("[TicketSet]\nSlot1=a.prn") + '\0' + "junk\n"
                                    << "line 2: it holds a NUL byte.";
        QTest::newRow("the set itself as a ticket")
            << QByteArray("[TicketSet]\nSlot2=./bad.tkset\n")
            << "line 2: Slot2 names this ticket set, not a ticket.";
        QTest::newRow("too large") << QByteArray("[TicketSet]\n" + QByteArray(70000, ';'))
                                   << "it is larger than 65536 bytes, too large for a ticket set";
    }
    void malformed()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, fault);
        const QString path = setPath(QStringLiteral("bad.tkset"));
        QFile::remove(path);
        if (!text.isNull())
            writeFile(path, text);

        const TicketSet before = setOf({"/kept/one.prn", "", "/kept/three.prn"});
        TicketSet set = before;
        QString error;
        QVERIFY(!TicketSetFile::read(path, &set, &error));
        QCOMPARE(pathsOf(set), pathsOf(before));
        QVERIFY2(
            error.startsWith(QStringLiteral("The ticket set %1 could not be read: ").arg(path)),
            qPrintable(error));
        QVERIFY2(error.contains(fault), qPrintable(error));
    }

    void writeFailures()
    {
        const QString path = writeFile(setPath(QStringLiteral("old.tkset")), "[TicketSet]\r\n");
        QString error;
        QVERIFY(!TicketSetFile::write(path, setOf({"/abs/a.prn", "relative.prn"}), &error));
        QCOMPARE(error, QStringLiteral("The ticket set %1 could not be written: the path of slot 2 "
                                       "(relative.prn) is not absolute.")
                            .arg(path));
        QVERIFY(!TicketSetFile::write(path, setOf({"/abs/a\nb.prn"}), &error));
        QCOMPARE(error, QStringLiteral("The ticket set %1 could not be written: the path of slot 1 "
                                       "holds a line break.")
                            .arg(path));
        QCOMPARE(TestFiles::read(path), QByteArray("[TicketSet]\r\n"));

        const QString nowhere = m_dir.filePath(QStringLiteral("missing/folder/a.tkset"));
        QVERIFY(!TicketSetFile::write(nowhere, setOf({"/abs/a.prn"}), &error));
        QVERIFY2(error.startsWith(
                     QStringLiteral("The ticket set %1 could not be written: ").arg(nowhere)),
                 qPrintable(error));
        QVERIFY(!QFile::exists(nowhere));
    }

    void loadSet()
    {
        const QString one = writeFile(setPath(QStringLiteral("one.prn")), "ONE\r\n");
        const QString three = writeFile(setPath(QStringLiteral("three.prn")), "THREE\r\n");
        const QString old = writeFile(setPath(QStringLiteral("old.prn")), "OLD");
        const QString missing2 = setPath(QStringLiteral("missing2.prn"));
        const QString missing6 = setPath(QStringLiteral("missing6.prn"));

        TicketSlots ticketSlots;
        QString error;
        for (int slot : {2, 4, 6})
            QVERIFY2(ticketSlots.load(slot, old, &error), qPrintable(error));

        const QString message =
            loadTicketSet(ticketSlots, setOf({one, missing2, three, "", "", missing6, ""}));
        QCOMPARE(ticketSlots.content(1), QByteArray("ONE\r\n"));
        QCOMPARE(ticketSlots.path(1), one);
        QCOMPARE(ticketSlots.content(3), QByteArray("THREE\r\n"));
        for (int slot : {2, 4, 5, 6, 7}) {
            QVERIFY2(!ticketSlots.isLoaded(slot), qPrintable(QString::number(slot)));
            QVERIFY(!ticketSlots.inUse(slot));
        }
        const QStringList lines = message.split(u'\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.at(0), QStringLiteral("2 tickets of the set could not be loaded; their "
                                             "slots are left empty:"));
        QVERIFY2(lines.at(1).startsWith(
                     QStringLiteral("Slot 2 (Truck 1st Weighing): The file %1 could not be read: ")
                         .arg(missing2)),
                 qPrintable(lines.at(1)));
        QVERIFY2(
            lines.at(2).startsWith(
                QStringLiteral("Slot 6 (Industrial: Total Footer): The file %1").arg(missing6)),
            qPrintable(lines.at(2)));

        QCOMPARE(loadTicketSet(ticketSlots, setOf({"", "", "", "", "", "", three})), QString());
        QVERIFY(!ticketSlots.isLoaded(1));
        QCOMPARE(ticketSlots.content(7), QByteArray("THREE\r\n"));

        QCOMPARE(loadTicketSet(ticketSlots, setOf({"", "", "", "", "", "", missing2})),
                 QStringLiteral("1 ticket of the set could not be loaded; its slot is left "
                                "empty:\nSlot 7 (Truck Simple Weighing): The file %1 could not be "
                                "read: No such file or directory")
                     .arg(missing2));
        QVERIFY(!ticketSlots.isLoaded(7));
    }

    // Each file is read once: what was read is what its slot holds, and a file that cannot be
    // read leaves its slot empty, its earlier ticket gone, and named.
    void readsBeforeChanging()
    {
        const QString one = writeFile(setPath(QStringLiteral("r1.prn")), "ONE");
        const QString late = setPath(QStringLiteral("late.prn"));
        const QString gone = writeFile(setPath(QStringLiteral("gone.prn")), "GONE");
        const QString old = writeFile(setPath(QStringLiteral("r-old.prn")), "OLD");
        QFile::remove(late);

        TicketSlots ticketSlots;
        QString error;
        QVERIFY2(ticketSlots.load(2, old, &error), qPrintable(error));
        const QString message = loadTicketSet(ticketSlots, setOf({one, late, gone}));
        QCOMPARE(ticketSlots.content(1), QByteArray("ONE"));
        QVERIFY(!ticketSlots.isLoaded(2));
        QCOMPARE(ticketSlots.content(3), QByteArray("GONE"));
        QCOMPARE(ticketSlots.path(3), gone);
        QVERIFY2(
            message.contains(QStringLiteral("Slot 2 (Truck 1st Weighing): The file %1").arg(late)),
            qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("Slot 3")), qPrintable(message));
    }

    // A set that cannot be read never reaches the slots.
    void malformedSetChangesNoSlot()
    {
        const QString path = writeFile(setPath(QStringLiteral("half.tkset")),
                                       "[TicketSet]\nSlot1=one.prn\nSlot9=x.prn\n");
        writeFile(setPath(QStringLiteral("one.prn")), "ONE");
        const QString old = writeFile(setPath(QStringLiteral("m-old.prn")), "OLD");
        TicketSlots ticketSlots;
        QString error;
        QVERIFY2(ticketSlots.load(2, old, &error), qPrintable(error));

        TicketSet set;
        if (TicketSetFile::read(path, &set, &error))
            loadTicketSet(ticketSlots, set);
        QVERIFY(error.contains(QStringLiteral("line 3: Slot9 names no slot")));
        QVERIFY(!ticketSlots.isLoaded(1));
        QCOMPARE(ticketSlots.content(2), QByteArray("OLD"));
    }
};

QTEST_GUILESS_MAIN(TestTicketSet)
#include "test_ticketset.moc"
