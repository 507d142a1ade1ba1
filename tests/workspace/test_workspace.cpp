#include "workspace/TicketPreviewDialog.h"

#include "support/TestFiles.h"
#include "ui_TicketPreviewDialog.h"

#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

class TestWorkspace : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    template <typename T> static T* child(QWidget* window, const char* name)
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no %s in %s", name, qPrintable(window->objectName()));
        return found;
    }

private slots:
    void ticketPreview()
    {
        const QByteArray bytes("\x1B"
                               "E TALVOR\r\nGROSS <GROSS> kg\x06\r\n\xB0"
                               "C");
        const QString path = m_dir.filePath(QStringLiteral("control bytes.prn"));
        QVERIFY(TestFiles::write(path, bytes));

        QPointer<TicketPreviewDialog> dialog(new TicketPreviewDialog(path, TestFiles::read(path)));
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Ticket Preview - control bytes.prn"));
        QVERIFY(!dialog->isModal());
        QVERIFY(dialog->minimumSize() != dialog->maximumSize());
        QVERIFY(!dialog->windowIcon().isNull());

        auto* tabs = child<QTabWidget>(dialog, "tabViews");
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Text"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Hex"));
        auto* text = child<QPlainTextEdit>(dialog, "txtText");
        auto* hex = child<QPlainTextEdit>(dialog, "txtHex");
        QCOMPARE(text->toPlainText(),
                 QStringLiteral("<0x1B>E TALVOR<CR><LF>\nGROSS <GROSS> kg<ACK><CR><LF>\n<0xB0>C"));
        QCOMPARE(
            hex->toPlainText(),
            QStringLiteral(
                "00000000  1B 45 20 54 41 4C 56 4F  52 0D 0A 47 52 4F 53 53  |.E TALVOR..GROSS|\n"
                "00000010  20 3C 47 52 4F 53 53 3E  20 6B 67 06 0D 0A B0 43  | <GROSS> "
                "kg....C|\n"));
        for (QPlainTextEdit* view : {text, hex}) {
            QVERIFY(view->isReadOnly());
            QVERIFY(QFontInfo(view->font()).fixedPitch());
        }
        QCOMPARE(child<QLabel>(dialog, "lblSummary")->text(),
                 QStringLiteral("32 bytes, SHA-256 ") +
                     QString::fromLatin1(
                         QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));

        child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Close)->click();
        QVERIFY(!dialog->isVisible());
        QTRY_VERIFY(dialog.isNull()); // discarded once closed
    }
};

QTEST_MAIN(TestWorkspace)
#include "test_workspace.moc"
