#include "ui/QtUiServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

QtUiServices::QtUiServices(QWidget* parent)
    : m_parent(parent)
{
}

QtUiServices::~QtUiServices()
{
    while (m_busyDepth > 0)
        setBusy(false);
}

void QtUiServices::critical(const QString& title, const QString& text, std::function<void()> done)
{
    openBox(new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok, m_parent),
            std::move(done));
}

void QtUiServices::ask(const QString& title, const QString& text, const QString& action,
                       std::function<void(bool)> done)
{
    auto* box =
        new QMessageBox(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    QPushButton* yes = box->addButton(action, QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    // A key pressed out of habit must not do what cannot be undone.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    openBox(box, [box, yes, done = std::move(done)] { done(box->clickedButton() == yes); });
}

void QtUiServices::openBox(QMessageBox* box, std::function<void()> done)
{
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    // The operator reads the message with the normal pointer, even in the middle of a long job.
    const int busy = m_busyDepth;
    if (busy > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    QObject::connect(box, &QMessageBox::finished, box, [done = std::move(done), busy] {
        if (busy > 0)
            QApplication::restoreOverrideCursor();
        if (done)
            done();
    });
    box->open();
}

QString QtUiServices::qtFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0)
        return filter;
    QString patterns = filter.mid(bar + 1);
    patterns.replace(u';', u' ');
    return filter.left(bar) + QStringLiteral(" (") + patterns + u')';
}

void QtUiServices::chooseOpenFile(const QString& filter, const QString& folder,
                                  std::function<void(const QString&)> done)
{
    chooseFile(false, filter, folder, std::move(done));
}

void QtUiServices::chooseSaveFile(const QString& filter, const QString& folder,
                                  std::function<void(const QString&)> done)
{
    chooseFile(true, filter, folder, std::move(done));
}

void QtUiServices::chooseFile(bool save, const QString& filter, const QString& folder,
                              std::function<void(const QString&)> done)
{
    auto* dialog = new QFileDialog(m_parent, QString(), folder, qtFilter(filter));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) {
        const qsizetype dot = filter.indexOf(QStringLiteral("*."));
        if (dot >= 0)
            dialog->setDefaultSuffix(filter.mid(dot + 2).section(u';', 0, 0));
    }
    // The description already names its patterns; Qt would append them a second time.
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setWindowModality(Qt::ApplicationModal);
    auto answered = std::make_shared<bool>(false);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [done, answered](const QString& path) {
                         *answered = true;
                         done(path);
                     });
    QObject::connect(dialog, &QFileDialog::finished, dialog, [done, answered](int) {
        if (!*answered) {
            *answered = true;
            done(QString());
        }
    });
    dialog->open();
}

void QtUiServices::setBusy(bool busy)
{
    if (busy) {
        ++m_busyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0) {
        --m_busyDepth;
        QApplication::restoreOverrideCursor();
    }
}
