#include "app/TicketArea.h"

#include "app/TicketSlotBox.h"
#include "link/IndicatorProtocol.h"
#include "platform/SettingsKeys.h"
#include "platform/SettingsStore.h"
#include "platform/UiServices.h"
#include "ticket/TicketSet.h"
#include "ticket/TicketSlots.h"
#include "ui/Fonts.h"
#include "workspace/TicketPreviewDialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>

namespace {
const QColor kOverBudgetColor(0xC6, 0x28, 0x28);
} // namespace

// The filters' descriptions are translated, their patterns are not.
QString TicketArea::ticketFilter()
{
    return tr("Print Files(*.prn) or Text Files(*.txt)") + QStringLiteral("|*.prn;*.txt");
}

QString TicketArea::setFilter()
{
    return tr("Ticket Sets") + QStringLiteral("|*.tkset");
}

TicketArea::TicketArea(TicketSlots& ticketSlots, UiServices& ui, SettingsStore& settings,
                       const Widgets& widgets, QObject* parent)
    : QObject(parent)
    , m_slots(ticketSlots)
    , m_ui(ui)
    , m_settings(settings)
    , m_widgets(widgets)
    , m_lastFolder(settings.readValue(SettingsKeys::kWorkspaceSection, SettingsKeys::kLastFolder))
{
    for (int s = 1; s <= SlotTable::kSlotCount; ++s) {
        box(s)->setSlot(s);
        connect(box(s), &TicketSlotBox::loadClicked, this, &TicketArea::onLoadClicked);
        connect(box(s), &TicketSlotBox::fileDropped, this, &TicketArea::loadFile);
        connect(box(s), &TicketSlotBox::previewRequested, this, &TicketArea::preview);
    }
    Fonts::set(m_widgets.usedSpaceEdit, Fonts::kLarge, true);
    Fonts::set(m_widgets.freeSpaceEdit, Fonts::kLarge, true);
    setVisible(false);
    m_widgets.window->setAcceptDrops(true);
    m_widgets.window->installEventFilter(this);
}

bool TicketArea::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_widgets.window ||
        (event->type() != QEvent::DragEnter && event->type() != QEvent::Drop))
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QList<QUrl> urls = drop->mimeData()->urls();
    const bool isSet = m_shown && urls.size() == 1 && urls.first().isLocalFile() &&
                       TicketSetFile::isSetPath(urls.first().toLocalFile());
    if (!isSet) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop)
        openSet(urls.first().toLocalFile());
    return true;
}

void TicketArea::show()
{
    m_shown = true;
    redrawSlots();
    // The space boxes tell what the slots really hold, also after a repeated query.
    showSpace();
    setVisible(true);
}

void TicketArea::fold()
{
    m_shown = false;
    setVisible(false);
    m_widgets.usedSpaceEdit->clear();
    m_widgets.freeSpaceEdit->clear();
    showExcess(0);
}

void TicketArea::redrawSlots()
{
    for (int s = 1; s <= SlotTable::kSlotCount; ++s)
        showSlot(s);
}

void TicketArea::setVisible(bool visible)
{
    m_widgets.spaceBox->setVisible(visible);
    for (TicketSlotBox* slotBox : m_widgets.boxes)
        slotBox->setVisible(visible);
}

void TicketArea::showSlot(int slot)
{
    box(slot)->showTicket(m_slots.isLoaded(slot), m_slots.fileNameText(slot), m_slots.path(slot),
                          m_slots.sizeText(slot));
}

void TicketArea::showSpace()
{
    m_widgets.freeSpaceEdit->setText(m_slots.freeSpaceText());
    m_widgets.usedSpaceEdit->setText(m_slots.usedSpaceText());
    showExcess(-m_slots.freeSpace());
}

// Tickets past the indicator's memory load, but the download refuses them: the free box says so
// before DownLoad is pressed.
void TicketArea::showExcess(qint32 excess)
{
    QLineEdit* box = m_widgets.freeSpaceEdit;
    if (excess <= 0) {
        box->setPalette(QPalette());
        box->setToolTip(QString());
        return;
    }
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, kOverBudgetColor);
    palette.setColor(QPalette::Text, Qt::white);
    box->setPalette(palette);
    const QString total = QString::number(m_slots.usedSpace());
    const QString memory = QString::number(IndicatorProtocol::kDataAreaSize);
    box->setToolTip(
        excess == 1
            ? tr("These tickets are 1 byte too large to download:\nthey hold %1 bytes, the "
                 "indicator's ticket memory %2.")
                  .arg(total, memory)
            : tr("These tickets are %1 bytes too large to download:\nthey hold %2 bytes, the "
                 "indicator's ticket memory %3.")
                  .arg(QString::number(excess), total, memory));
}

void TicketArea::changed()
{
    redrawSlots();
    showSpace();
    emit slotsChanged();
}

void TicketArea::onLoadClicked(int slot)
{
    if (m_slots.isLoaded(slot)) {
        m_slots.remove(slot);
        changed();
        return;
    }
    m_ui.chooseOpenFile(ticketFilter(), m_lastFolder, [this, slot](const QString& path) {
        if (path.isEmpty()) {
            changed();
            return;
        }
        rememberFolder(path);
        loadFile(slot, path);
    });
}

void TicketArea::loadFile(int slot, const QString& path)
{
    QString error;
    m_ui.setBusy(true);
    const bool loaded = m_slots.load(slot, path, &error);
    m_ui.setBusy(false);
    if (!loaded)
        m_ui.critical(tr("File Error"), error);
    changed();
}

void TicketArea::preview(int slot)
{
    if (!m_slots.isLoaded(slot))
        return;
    auto* window =
        new TicketPreviewDialog(m_slots.path(slot), m_slots.content(slot), m_widgets.window);
    window->show();
}

void TicketArea::chooseSetToOpen()
{
    if (!m_shown)
        return;
    m_ui.chooseOpenFile(setFilter(), m_lastFolder, [this](const QString& path) {
        if (path.isEmpty())
            return;
        rememberFolder(path);
        openSet(path);
    });
}

void TicketArea::openSet(const QString& path)
{
    // As with Add Ticket: tickets go into slots the operator can see.
    if (!m_shown)
        return;
    TicketSet set;
    QString error;
    if (!TicketSetFile::read(path, &set, &error)) {
        m_ui.critical(tr("File Error"), error);
        return;
    }
    m_ui.setBusy(true);
    error = loadTicketSet(m_slots, set);
    m_ui.setBusy(false);
    changed();
    if (!error.isEmpty())
        m_ui.critical(tr("File Error"), error);
}

void TicketArea::chooseSetToSave()
{
    m_ui.chooseSaveFile(setFilter(), m_lastFolder, [this](const QString& path) {
        if (path.isEmpty())
            return;
        rememberFolder(path);
        saveSet(path);
    });
}

void TicketArea::saveSet(const QString& path)
{
    TicketSet set;
    set.paths = m_slots.paths();
    QString error;
    if (!TicketSetFile::write(path, set, &error))
        m_ui.critical(tr("File Error"), error);
}

void TicketArea::rememberFolder(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (folder == m_lastFolder)
        return;
    m_lastFolder = folder;
    m_settings.writeValue(SettingsKeys::kWorkspaceSection, SettingsKeys::kLastFolder, folder);
}
