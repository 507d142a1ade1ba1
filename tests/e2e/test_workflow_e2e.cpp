#include "support/Sha256.h"
#include "support/WindowRig.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTableView>
#include <optional>

using namespace std::chrono_literals;

namespace {

// What a slot box shows of a path: the whole path up to 30 characters, else its last 27.
QString shownName(const QString& path)
{
    return path.size() <= 30 ? path : QStringLiteral("...") + path.right(27);
}

} // namespace

// What an operator does around the download itself, through the main window against the
// simulated indicator: ticket sets across a restart, the folder the file dialogs start in,
// dropped files, the preview, the download record and its history window, and the progress bar.
class TestWorkflowE2E : public QObject {
    Q_OBJECT

private:
    std::optional<WindowRig> m_rig;

    Ui::MainWindow& form() { return m_rig->form(); }

    QAction* fileMenuAction(const QString& text)
    {
        for (QAction* action : form().fileMenu->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    // Drags the files over the widget and lets go, through QApplication as Qt delivers a drag:
    // the enter goes up the parents until one takes it, the drop to the one that took it.
    // True when the drop was taken.
    static bool dropFiles(QWidget* target, const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(target, &leave);
            return false;
        }
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }

    // Every slot's path, "" for an empty one.
    QStringList slotPaths() const
    {
        QStringList paths;
        for (int s = 1; s <= SlotTable::kSlotCount; ++s)
            paths.append(m_rig->window->ticketSlots().path(s));
        return paths;
    }

    // The slot box shows the file, or shows an empty slot for an empty path.
    void checkBox(int slot, const QString& path, const QByteArray& bytes)
    {
        TicketSlotBox* box = m_rig->window->slotBox(slot);
        if (path.isEmpty()) {
            QCOMPARE(box->fileNameEdit()->text(), QString());
            QCOMPARE(box->sizeEdit()->text(), QString());
            QCOMPARE(box->loadButton()->text(), QStringLiteral("Add Ticket"));
            return;
        }
        QCOMPARE(box->fileNameEdit()->text(), shownName(path));
        QCOMPARE(box->fileNameEdit()->toolTip(), path);
        QCOMPARE(box->sizeEdit()->text(), QStringLiteral(" %1").arg(bytes.size()));
        QCOMPARE(box->loadButton()->text(), QStringLiteral("Remove"));
    }

    void checkSpace(int used)
    {
        QCOMPARE(form().usedSpaceEdit->text(), QStringLiteral(" %1").arg(used));
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral(" %1").arg(32768 - used));
    }

    QList<QJsonObject> recordLines() const
    {
        QList<QJsonObject> lines;
        for (const QByteArray& line : TestFiles::read(m_rig->recordPath).split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            lines.append(document.isObject() ? document.object() : QJsonObject());
        }
        return lines;
    }

    QDialog* previewWindow() const
    {
        const auto windows =
            m_rig->window->findChildren<QDialog*>(QStringLiteral("TicketPreviewDialog"));
        return windows.size() == 1 ? windows.first() : nullptr;
    }

    void closePreviews()
    {
        for (QDialog* window :
             m_rig->window->findChildren<QDialog*>(QStringLiteral("TicketPreviewDialog")))
            delete window;
    }

    // The slot box's context menu as a right click opens it.
    QMenu* contextMenu(int slot)
    {
        TicketSlotBox* box = m_rig->window->slotBox(slot);
        const QPoint at = box->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, box->mapToGlobal(at));
        QApplication::sendEvent(box, &event);
        const auto menus = box->findChildren<QMenu*>();
        return menus.isEmpty() ? nullptr : menus.last();
    }

    // One download under the faults, then its line in the record checked field by field
    // against what the window showed, what the simulator received and what it now holds.
    void recordedDownload(const sim::Faults& faults, const QString& outcome,
                          const QList<int>& loadedSlots, bool retried)
    {
        m_rig->indicator->setFaults(faults);
        m_rig->indicator->resetRecord();
        m_rig->ui->messages.clear();
        const qsizetype linesBefore = recordLines().size();
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        QElapsedTimer clock;
        clock.start();
        m_rig->download();
        const qint64 elapsed = clock.elapsed();
        const QDateTime after = QDateTime::currentDateTime().addMSecs(1);

        const QList<QJsonObject> lines = recordLines();
        QCOMPARE(lines.size(), linesBefore + 1);
        const QJsonObject line = lines.last();
        const QStringList keys = line.keys();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()),
                 (QSet<QString>{"time", "channel", "baud", "version", "serial", "outcome",
                                "seconds", "commands", "retries", "slots"}));
        const QString time = line.value("time").toString();
        static const QRegularExpression isoWithOffset(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3})?\+02:30$)"));
        QVERIFY2(isoWithOffset.match(time).hasMatch(), qPrintable(time));
        const QDateTime parsed = QDateTime::fromString(time, Qt::ISODateWithMs);
        QVERIFY2(parsed >= before && parsed <= after, qPrintable(time));
        if (m_rig->window->session().address().kind == PortAddress::Kind::Tcp) {
            QCOMPARE(line.value("channel").toString(),
                     QStringLiteral("127.0.0.1:%1").arg(m_rig->indicator->tcpPort()));
            QCOMPARE(line.value("baud").toInt(-1), 0);
        } else {
            QCOMPARE(line.value("channel").toString(),
                     QStringLiteral("COM 1 ") + m_rig->indicator->ptyPath());
            QCOMPARE(line.value("baud").toInt(-1), 115200);
        }
        // As the window shows them, without the ACK that ends them.
        QCOMPARE(line.value("version").toString() + u'\x06', form().versionEdit->text());
        QCOMPARE(line.value("serial").toString() + u'\x06', form().serialEdit->text());
        QCOMPARE(line.value("outcome").toString(), outcome);
        const double seconds = line.value("seconds").toDouble(-1);
        QVERIFY2(seconds >= 0 && seconds * 1000 <= double(elapsed) + 1,
                 qPrintable(QString::number(seconds)));
        // Each resend follows a lone CR; a command counts once however often it went out.
        const int retries = line.value("retries").toInt(-1);
        QCOMPARE(retries, m_rig->linesReceived(QByteArray()));
        QCOMPARE(retries > 0, retried);
        const int commands = line.value("commands").toInt(-1);
        QVERIFY(commands > 0);
        QCOMPARE(commands, m_rig->linesReceived(";E") - retries);

        const QJsonArray recordSlots = line.value("slots").toArray();
        QCOMPARE(recordSlots.size(), loadedSlots.size());
        for (int i = 0; i < recordSlots.size(); ++i) {
            const int s = loadedSlots.at(i);
            const QString path = m_rig->window->ticketSlots().path(s);
            const QByteArray bytes = TestFiles::read(path);
            const QJsonObject entry = recordSlots.at(i).toObject();
            QCOMPARE(entry.keys(), (QStringList{"file", "sha256", "size", "slot", "stored"}));
            QCOMPARE(entry.value("slot").toInt(), s);
            QCOMPARE(entry.value("file").toString(), path);
            QCOMPARE(entry.value("size").toInt(-1), int(bytes.size()));
            QCOMPARE(entry.value("sha256").toString(), sha256Hex(bytes));
            QCOMPARE(entry.value("stored").toBool(), m_rig->indicator->slot(s) == bytes);
        }
    }

private slots:
    void init()
    {
        m_rig.emplace();
        QVERIFY(m_rig->dir.isValid());
    }
    void cleanup() { m_rig.reset(); }

    // Tickets saved as a set, the program started again, the set opened and downloaded: the
    // indicator holds the files' bytes.
    void savedSetSurvivesARestart()
    {
        m_rig->start(WindowRig::Serial);
        m_rig->openAndQuery();
        const QByteArray oneBytes = QByteArrayLiteral("GROSS\r\nNET\r\n\x1B!\x03");
        const QByteArray threeBytes = QByteArrayLiteral("TRUCK 2nd\r\n\x80\xFF end");
        const QString one = m_rig->writeFile(QStringLiteral("sets/tickets/gross.prn"), oneBytes);
        const QString three = m_rig->writeFile(QStringLiteral("elsewhere/truck.txt"), threeBytes);
        m_rig->addTicket(1, one);
        m_rig->addTicket(3, three);

        const QString setPath = m_rig->dir.filePath(QStringLiteral("sets/site.tkset"));
        QAction* save = fileMenuAction(QStringLiteral("Save Ticket Set..."));
        QVERIFY(save);
        QVERIFY(save->isEnabled());
        m_rig->ui->fileChoices.append(setPath);
        save->trigger();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(m_rig->ui->filters.last(), QStringLiteral("Ticket Sets|*.tkset"));
        // Below the set's folder relative, so the folder can travel; elsewhere absolute.
        QCOMPARE(TestFiles::read(setPath),
                 "[TicketSet]\r\nSlot1=tickets/gross.prn\r\nSlot3=" + three.toUtf8() + "\r\n");

        m_rig->newWindow();
        QVERIFY(m_rig->window->ticketSlots().path(1).isEmpty());
        m_rig->openAndQuery();
        QAction* open = fileMenuAction(QStringLiteral("Open Ticket Set..."));
        QVERIFY(open);
        QVERIFY(open->isEnabled());
        m_rig->ui->fileChoices.append(setPath);
        open->trigger();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        for (int s = 1; s <= 7; ++s) {
            const QString path = s == 1 ? one : s == 3 ? three : QString();
            checkBox(s, path, s == 1 ? oneBytes : threeBytes);
        }
        checkSpace(int(oneBytes.size() + threeBytes.size()));

        m_rig->indicator->resetRecord();
        m_rig->download();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        for (int s = 1; s <= 7; ++s)
            QCOMPARE(m_rig->indicator->slot(s), s == 1   ? oneBytes
                                                : s == 3 ? threeBytes
                                                         : QByteArray());
    }

    // The file dialogs start where the operator last chose a file, also after a restart, and
    // the settings file keeps that folder without touching its other lines.
    void fileDialogsStartInTheLastFolder()
    {
        m_rig->start(WindowRig::Serial);
        const QByteArray original = TestFiles::read(m_rig->settingsPath);
        m_rig->openAndQuery();
        const QString first = m_rig->writeFile(QStringLiteral("first/a.prn"), "A");
        const QString second = m_rig->writeFile(QStringLiteral("second/b.txt"), "B");
        const QString firstFolder = QFileInfo(first).absolutePath();
        const QString secondFolder = QFileInfo(second).absolutePath();

        m_rig->addTicket(1, first);
        QCOMPARE(m_rig->ui->folders, QStringList{QString()});
        QCOMPARE(TestFiles::read(m_rig->settingsPath),
                 original + "[Workspace]\nLastFolder= " + firstFolder.toUtf8() + "\n");
        m_rig->addTicket(2, second);
        QCOMPARE(m_rig->ui->folders.last(), firstFolder);
        // The folder changes in place.
        QCOMPARE(TestFiles::read(m_rig->settingsPath),
                 original + "[Workspace]\nLastFolder= " + secondFolder.toUtf8() + "\n");

        // A cancelled dialog leaves the folder as it was, for every kind of file dialog.
        m_rig->window->slotBox(3)->loadButton()->click();
        QCOMPARE(m_rig->ui->folders.last(), secondFolder);
        fileMenuAction(QStringLiteral("Open Ticket Set..."))->trigger();
        QCOMPARE(m_rig->ui->folders.last(), secondFolder);
        fileMenuAction(QStringLiteral("Save Ticket Set..."))->trigger();
        QCOMPARE(m_rig->ui->folders.last(), secondFolder);
        QCOMPARE(m_rig->ui->folders.size(), 5);

        m_rig->newWindow();
        m_rig->openAndQuery();
        m_rig->window->slotBox(4)->loadButton()->click();
        QCOMPARE(m_rig->ui->folders, QStringList{secondFolder});
        QCOMPARE(TestFiles::read(m_rig->settingsPath),
                 original + "[Workspace]\nLastFolder= " + secondFolder.toUtf8() + "\n");
    }

    // One ticket file dropped on a slot box loads into it; a set dropped on the window or on a
    // box opens it once the ticket area is shown; anything else is not taken.
    void droppedFiles()
    {
        m_rig->start(WindowRig::Serial);
        const QByteArray ticket("dropped\r\n");
        const QString prn = m_rig->writeFile(QStringLiteral("in/drop.prn"), ticket);
        const QString txt = m_rig->writeFile(QStringLiteral("in/other.TXT"), "xy");
        const QString exe = m_rig->writeFile(QStringLiteral("in/tool.exe"), "MZ");
        const QString setTicket =
            m_rig->writeFile(QStringLiteral("in/set-ticket.prn"), "from the set");
        const QString set = m_rig->writeFile(QStringLiteral("in/drop.tkset"),
                                             "[TicketSet]\nSlot4=set-ticket.prn\n");

        // Before the query the set has nowhere to go.
        QVERIFY(!dropFiles(m_rig->window.get(), {set}));
        QCOMPARE(slotPaths(), QStringList(7));

        m_rig->openAndQuery();
        QVERIFY(dropFiles(m_rig->window->slotBox(2), {prn}));
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        checkBox(2, prn, ticket);
        checkSpace(int(ticket.size()));
        QVERIFY(form().downloadButton->isEnabled());
        QVERIFY(dropFiles(m_rig->window->slotBox(5), {txt})); // the suffix in any case
        checkBox(5, txt, "xy");

        const QStringList before = slotPaths();
        QVERIFY(!dropFiles(m_rig->window->slotBox(1), {prn, txt}));
        QVERIFY(!dropFiles(m_rig->window->slotBox(1), {exe}));
        QVERIFY(!dropFiles(m_rig->window.get(), {exe}));
        QVERIFY(!dropFiles(m_rig->window.get(), {set, prn}));
        QCOMPARE(slotPaths(), before);
        checkBox(1, QString(), {});
        QVERIFY(m_rig->ui->messages.isEmpty());

        // A set dropped on a slot box goes to the window: the whole set, not into that box.
        QVERIFY(dropFiles(m_rig->window->slotBox(1), {set}));
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(slotPaths(), (QStringList{{}, {}, {}, setTicket, {}, {}, {}}));
        checkBox(1, QString(), {});
        checkBox(2, QString(), {});
        checkBox(4, setTicket, "from the set");
        checkSpace(12);

        // On the window itself, too.
        QVERIFY(dropFiles(m_rig->window->slotBox(2), {prn}));
        QVERIFY(dropFiles(m_rig->window.get(), {set}));
        QCOMPARE(slotPaths(), (QStringList{{}, {}, {}, setTicket, {}, {}, {}}));
    }

    // A set that names a missing file fills the other slots and says which one it could not;
    // a malformed set changes nothing.
    void setsThatCannotLoadWhole_data()
    {
        QTest::addColumn<QByteArray>("setText");
        QTest::addColumn<QStringList>("expectedFiles"); // per slot, "" for empty
        QTest::addColumn<QStringList>("named");         // what the message names
        QTest::addColumn<QStringList>("notNamed");
        const QStringList untouched = {{}, "old2.prn", "old3.prn", {}, {}, {}, {}};
        QTest::newRow("missing file")
            << QByteArray("[TicketSet]\r\nSlot1=a.prn\r\nSlot3=gone.prn\r\nSlot5=b.txt\r\n")
            << QStringList{"a.prn", {}, {}, {}, "b.txt", {}, {}}
            << QStringList{"Slot 3 (Truck Complete Weighing)", "gone.prn"}
            << QStringList{"a.prn", "b.txt", "Slot 1", "Slot 5"};
        QTest::newRow("unknown key")
            << QByteArray("[TicketSet]\nSlot1=a.prn\nTicket5=b.txt\n") << untouched
            << QStringList{"problem.tkset", "line 3", "Ticket5"} << QStringList();
        QTest::newRow("slot eight")
            << QByteArray("[TicketSet]\nSlot1=a.prn\nSlot8=b.txt\n") << untouched
            << QStringList{"problem.tkset", "line 3", "Slot8"} << QStringList();
        QTest::newRow("slot twice")
            << QByteArray("[TicketSet]\nSlot1=a.prn\nSlot1=b.txt\n") << untouched
            << QStringList{"problem.tkset", "line 3", "Slot1"} << QStringList();
        QTest::newRow("no section")
            << QByteArray("Slot1=a.prn\n") << untouched
            << QStringList{"problem.tkset", "line 1", "[TicketSet]"} << QStringList();
        QTest::newRow("another section")
            << QByteArray("[TicketSet]\nSlot1=a.prn\n[Other]\n") << untouched
            << QStringList{"problem.tkset", "line 3", "[Other]"} << QStringList();
    }
    void setsThatCannotLoadWhole()
    {
        QFETCH(QByteArray, setText);
        QFETCH(QStringList, expectedFiles);
        QFETCH(QStringList, named);
        QFETCH(QStringList, notNamed);
        m_rig->start(WindowRig::Serial);
        m_rig->openAndQuery();
        m_rig->writeFile(QStringLiteral("set/a.prn"), "aaaa");
        m_rig->writeFile(QStringLiteral("set/b.txt"), "bb");
        m_rig->addTicket(2, m_rig->writeFile(QStringLiteral("set/old2.prn"), "old two"));
        m_rig->addTicket(3, m_rig->writeFile(QStringLiteral("set/old3.prn"), "old three"));
        const QString setPath = m_rig->writeFile(QStringLiteral("set/problem.tkset"), setText);

        m_rig->ui->fileChoices.append(setPath);
        fileMenuAction(QStringLiteral("Open Ticket Set..."))->trigger();
        QCOMPARE(m_rig->ui->messages.size(), 1);
        QCOMPARE(m_rig->ui->messages.first().title, QStringLiteral("File Error"));
        const QString text = m_rig->ui->messages.first().text;
        for (const QString& part : named)
            QVERIFY2(text.contains(part), qPrintable(text));
        for (const QString& part : notNamed)
            QVERIFY2(!text.contains(part), qPrintable(text));

        int used = 0;
        for (int s = 1; s <= 7; ++s) {
            const QString name = expectedFiles.at(s - 1);
            const QString path =
                name.isEmpty() ? QString() : m_rig->dir.filePath(QStringLiteral("set/") + name);
            const QByteArray bytes = path.isEmpty() ? QByteArray() : TestFiles::read(path);
            used += int(bytes.size());
            checkBox(s, path, bytes);
            QCOMPARE(m_rig->window->ticketSlots().path(s), path);
        }
        checkSpace(used);
    }

    // The preview shows a loaded ticket with its control bytes named, its size and SHA-256,
    // from a double-click on the file's name or the box's context menu.
    void preview()
    {
        m_rig->start(WindowRig::Serial);
        m_rig->openAndQuery();
        const QByteArray bytes = QByteArrayLiteral("\x1B@TICKET\r\nWeight: 1234 kg\r\n\x80\xE9nd");
        const QString path = m_rig->writeFile(QStringLiteral("tickets/preview me.prn"), bytes);
        m_rig->addTicket(6, path);

        const auto checkPreview = [&] {
            QDialog* window = previewWindow();
            QVERIFY(window);
            QVERIFY(window->isVisible());
            QCOMPARE(window->windowTitle(), QStringLiteral("Ticket Preview - preview me.prn"));
            auto* text = window->findChild<QPlainTextEdit*>(QStringLiteral("textView"));
            QVERIFY(text);
            QCOMPARE(
                text->toPlainText(),
                QStringLiteral("<0x1B>@TICKET<CR><LF>\nWeight: 1234 kg<CR><LF>\n<0x80><0xE9>nd"));
            auto* summary = window->findChild<QLabel*>(QStringLiteral("summaryLabel"));
            QVERIFY(summary);
            QVERIFY2(summary->text().contains(QStringLiteral("%1 bytes").arg(bytes.size())),
                     qPrintable(summary->text()));
            QVERIFY2(summary->text().contains(sha256Hex(bytes)), qPrintable(summary->text()));
            closePreviews();
        };

        QTest::mouseDClick(m_rig->window->slotBox(6)->fileNameEdit(), Qt::LeftButton);
        checkPreview();
        if (QTest::currentTestFailed())
            return;

        QMenu* menu = contextMenu(6);
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QAction* entry = menu->actions().first();
        QCOMPARE(entry->text(), QStringLiteral("Preview"));
        QVERIFY(entry->isEnabled());
        entry->trigger();
        delete menu;
        checkPreview();
        if (QTest::currentTestFailed())
            return;

        // An empty slot has nothing to show.
        menu = contextMenu(4);
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Preview"));
        QVERIFY(!menu->actions().first()->isEnabled());
        delete menu;
        QTest::mouseDClick(m_rig->window->slotBox(4)->fileNameEdit(), Qt::LeftButton);
        QVERIFY(
            m_rig->window->findChildren<QDialog*>(QStringLiteral("TicketPreviewDialog")).isEmpty());
    }

    // Every download that sends a command leaves one line that tells where it went, what the
    // indicator said it was, how it ended and which tickets it now holds.
    void downloadRecord_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("serial") << false;
        QTest::newRow("tcp") << true;
    }
    void downloadRecord()
    {
        QFETCH(bool, tcp);
        m_rig->start(tcp ? WindowRig::Tcp : WindowRig::Serial);
        m_rig->openAndQuery();
        const QByteArray oneBytes = "gross net tare\r\n" + QByteArray(100, 'g');
        const QByteArray threeBytes = QByteArrayLiteral("truck\x1B\x80");
        m_rig->addTicket(1, m_rig->writeFile(QStringLiteral("t/one.prn"), oneBytes));
        m_rig->addTicket(3, m_rig->writeFile(QStringLiteral("t/three.txt"), threeBytes));

        // Stored, with one reply so late that the command goes out again.
        m_rig->window->downloader().setTimeout(300ms);
        sim::Faults late;
        late.lateAt.insert(0x0008, 300 + int(CommandExchange::kQuietTime.count()) + 100);
        recordedDownload(late, QStringLiteral("stored"), {1, 3}, true);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(m_rig->indicator->slot(1), oneBytes);

        // Refused: one data block of slot 1; slot 3 still goes in.
        sim::Faults nak;
        nak.nakAt.insert(0x0010);
        recordedDownload(nak, QStringLiteral("refused"), {1, 3}, false);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(m_rig->indicator->slot(1), QByteArray());
        QCOMPARE(m_rig->indicator->slot(3), threeBytes);

        // Cancelled in the middle of slot 5.
        m_rig->addTicket(5, m_rig->writeFile(QStringLiteral("t/five.prn"), QByteArray(6000, 'f')));
        const QMetaObject::Connection canceller =
            connect(&m_rig->window->downloader(), &Downloader::blockDone, this,
                    [this](qint32 value, qint32) {
                        if (value >= 2001 && form().cancelButton->isVisible())
                            form().cancelButton->click();
                    });
        recordedDownload({}, QStringLiteral("cancelled"), {1, 3, 5}, false);
        disconnect(canceller);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(m_rig->ui->messages.size(), 1);
        QCOMPARE(m_rig->indicator->slot(3), QByteArray());

        // Over the memory's size: refused before a command goes out, and nothing recorded.
        m_rig->addTicket(2, m_rig->writeFile(QStringLiteral("t/huge.prn"), QByteArray(32768, 'h')));
        const QByteArray recordBefore = TestFiles::read(m_rig->recordPath);
        m_rig->indicator->resetRecord();
        m_rig->ui->messages.clear();
        m_rig->download();
        QCOMPARE(m_rig->ui->messages.size(), 1);
        QVERIFY(m_rig->indicator->commandLines().isEmpty());
        QCOMPARE(TestFiles::read(m_rig->recordPath), recordBefore);
    }

    // The history window lists the recorded downloads newest first, narrowed by serial number.
    void downloadHistory()
    {
        m_rig->start(WindowRig::Serial);
        m_rig->openAndQuery();
        m_rig->addTicket(1, m_rig->writeFile(QStringLiteral("h/one.prn"), "history one"));
        m_rig->download();
        sim::Faults faults;
        faults.nakAt.insert(0x0004);
        m_rig->indicator->setFaults(faults);
        m_rig->download();
        faults = {};
        faults.serial = "67890";
        m_rig->indicator->setFaults(faults);
        m_rig->ui->messages.clear();
        m_rig->openAndQuery();
        QCOMPARE(form().serialEdit->text(), QStringLiteral("67890\x06"));
        m_rig->download();
        QCOMPARE(recordLines().size(), 3);

        QAction* history = fileMenuAction(QStringLiteral("Download History..."));
        QVERIFY(history);
        history->trigger();
        auto* window = m_rig->window->findChild<QDialog*>(QStringLiteral("DownloadHistoryDialog"));
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Download History"));
        auto* table = window->findChild<QTableView*>(QStringLiteral("recordsTable"));
        auto* filter = window->findChild<QLineEdit*>(QStringLiteral("serialFilterEdit"));
        QVERIFY(table);
        QVERIFY(filter);
        const QAbstractItemModel* model = table->model();
        const auto text = [model](int row, int column) {
            return model->index(row, column).data().toString();
        };
        const auto rows = [model, text] {
            QStringList texts;
            for (int row = 0; row < model->rowCount(); ++row)
                texts.append(text(row, 1) + u' ' + text(row, 4));
            return texts;
        };
        QCOMPARE(rows(), (QStringList{"67890 stored", "12345 refused", "12345 stored"}));
        for (int row = 1; row < model->rowCount(); ++row)
            QVERIFY(text(row - 1, 0) >= text(row, 0));

        filter->setText(QStringLiteral("678"));
        QCOMPARE(rows(), QStringList{"67890 stored"});
        filter->setText(QStringLiteral("12345"));
        QCOMPARE(rows(), (QStringList{"12345 refused", "12345 stored"}));
        filter->setText(QStringLiteral("999"));
        QCOMPARE(rows(), QStringList());
        filter->clear();
        QCOMPARE(model->rowCount(), 3);
    }

    // A record that cannot be written fails nothing: the download ends stored and the status
    // line tells why nothing was recorded.
    void recordNotWritable_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("read-only folder") << true;
        QTest::newRow("a file where the folder should be") << false;
    }
    void recordNotWritable()
    {
        QFETCH(bool, readOnlyFolder);
        m_rig->start(WindowRig::Serial);
        QString folder;
        if (readOnlyFolder) {
            folder = m_rig->dir.filePath(QStringLiteral("locked"));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadGroup | QFile::ExeGroup));
            QFile probe(folder + QStringLiteral("/probe"));
            if (probe.open(QIODevice::WriteOnly)) {
                probe.remove();
                QSKIP("this user may write into a read-only folder");
            }
        } else {
            folder = m_rig->writeFile(QStringLiteral("blocker"), "a file, not a folder");
        }
        const QString unwritable = folder + QStringLiteral("/downloads.jsonl");
        m_rig->window->recorder().setPath(unwritable);
        m_rig->openAndQuery();
        const QByteArray bytes("kept anyway\r\n");
        m_rig->addTicket(1, m_rig->writeFile(QStringLiteral("t/kept.prn"), bytes));
        m_rig->download();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(m_rig->window->downloader().outcome(), Outcome::Stored);
        QCOMPARE(m_rig->indicator->slot(1), bytes);
        QVERIFY(!QFileInfo::exists(unwritable));
        QTRY_VERIFY(form().statusEdit->text().startsWith(QStringLiteral("Not recorded: ")));
        const QString notice = form().statusEdit->text();
        QVERIFY2(notice.contains(unwritable), qPrintable(notice));
        QVERIFY(form().downloadFrame->isVisible());
        QVERIFY(!form().progressBar->isVisible());
        QVERIFY(!form().cancelButton->isVisible());
        QCOMPARE(m_rig->ui->busyDepth, 0);

        // The notice goes with the next download, which is recorded again.
        m_rig->window->recorder().setPath(m_rig->recordPath);
        QString atStart = QStringLiteral("not started");
        connect(&m_rig->window->downloader(), &Downloader::started, this,
                [&] { atStart = form().statusEdit->text(); });
        m_rig->download();
        QCOMPARE(atStart, QString());
        QCOMPARE(form().statusEdit->text(), QString());
        QVERIFY(!form().downloadFrame->isVisible());
        QCOMPARE(recordLines().size(), 1);
        if (readOnlyFolder)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The progress bar tells the share done and, once there is a rate, the time left; the
    // status line keeps its texts.
    void progressBarText()
    {
        m_rig->start(WindowRig::Serial);
        m_rig->openAndQuery();
        m_rig->addTicket(1, m_rig->writeFile(QStringLiteral("p/one.prn"), "ABCDE"));
        m_rig->addTicket(3, m_rig->writeFile(QStringLiteral("p/three.prn"), "xyz"));
        struct Step {
            QString text;
            qint64 done, total;
            qint64 atMs; // since before the click, so never less than the panel's own clock
        };
        QList<Step> steps;
        QElapsedTimer clock;
        QStringList statuses;
        connect(form().statusEdit, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (!text.isEmpty())
                statuses.append(text);
        });
        // For the documentation: the window in the middle of a download, with the time left.
        QString shots = qEnvironmentVariable("TALVOR_SCREENSHOT_DIR");
        connect(&m_rig->window->downloader(), &Downloader::blockDone, this, [&](qint32, qint32) {
            const QProgressBar* bar = form().progressBar;
            steps.append({bar->text(), qint64(bar->value()) - bar->minimum(),
                          qint64(bar->maximum()) - bar->minimum(), clock.elapsed()});
            if (!shots.isEmpty() && bar->text().contains(QStringLiteral(" left"))) {
                m_rig->window->grab().save(shots + QStringLiteral("/main-window-download.png"));
                shots.clear();
            }
        });
        // "37 %" or "37 % - 2:41 left": the share done, floored, as the bar's value tells it.
        static const QRegularExpression barText(
            QStringLiteral(R"(^(\d{1,3}) %( - \d+:[0-5]\d left)?$)"));
        const auto checkSteps = [&] {
            qint64 last = 0;
            for (const Step& step : steps) {
                const QRegularExpressionMatch match = barText.match(step.text);
                QVERIFY2(match.hasMatch(), qPrintable(step.text));
                QVERIFY(step.total > 0);
                const qint64 percent = match.captured(1).toLongLong();
                QCOMPARE(percent, step.done * 100 / step.total);
                QVERIFY2(percent >= last, qPrintable(step.text));
                last = percent;
                // No rate yet within the first second.
                if (step.atMs < 1000)
                    QVERIFY2(!step.text.contains(QStringLiteral(" left")), qPrintable(step.text));
            }
        };

        clock.start();
        m_rig->download();
        QCOMPARE(statuses, (QStringList{"Preparing data ...", "Update pointers ...",
                                        "Downloading data  1/ 8 bytes",
                                        "Downloading data  5/ 8 bytes", "Update pointers ..."}));
        checkSteps();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(steps.size(), 2);
        QCOMPARE(form().progressBar->text(), steps.last().text);

        // At the wire speed of 115200 baud 1000 blocks take over a second and a half: long
        // enough for a rate, and so for the time left.
        m_rig->window->slotBox(3)->loadButton()->click();
        m_rig->window->slotBox(1)->loadButton()->click();
        m_rig->addTicket(1, m_rig->writeFile(QStringLiteral("p/long.prn"), QByteArray(4000, 'L')));
        sim::Faults faults;
        faults.baud = 115200;
        m_rig->indicator->setFaults(faults);
        steps.clear();
        clock.start();
        m_rig->download();
        QVERIFY2(m_rig->ui->messages.isEmpty(), qPrintable(m_rig->ui->texts().join(u'|')));
        QCOMPARE(m_rig->indicator->slot(1), QByteArray(4000, 'L'));
        checkSteps();
        QCOMPARE(steps.size(), 1000);
        QVERIFY(std::any_of(steps.begin(), steps.end(), [](const Step& step) {
            return step.text.contains(QStringLiteral(" left"));
        }));
        QCOMPARE(form().progressBar->text(), steps.last().text);
    }
};

int main(int argc, char* argv[])
{
    // Local time 2:30 ahead of UTC, so that a record time without its offset cannot pass.
    qputenv("TZ", "TST-2:30");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestWorkflowE2E test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_workflow_e2e.moc"
