#include "info/AboutDialog.h"
#include "info/HelpDialog.h"
#include "ui/AppIcon.h"
#include "ui/WindowLook.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestInfo : public QObject {
    Q_OBJECT

private slots:
    void versionText_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("patch");
        QTest::addColumn<QString>("expected");
        QTest::newRow("this release") << 1 << 0 << 3 << "Version 1.0.3";
        QTest::newRow("two digits") << 2 << 10 << 12 << "Version 2.10.12";
    }
    void versionText()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, patch);
        QFETCH(QString, expected);
        QCOMPARE(AboutDialog::versionText(major, minor, patch), expected);
    }

    void withLineBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare CRs") << "a\rb\rc"
                                  << "a\r\nb\r\nc";
        QTest::newRow("CR LF kept") << "a\r\nb"
                                    << "a\r\nb";
        QTest::newRow("CR at the end") << "a\r"
                                       << "a\r\n";
        QTest::newRow("LF alone kept") << "a\nb"
                                       << "a\nb";
    }
    void withLineBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(WindowLook::withLineBreaks(text), expected);
    }

    // Each window's texts, fixed size, and the font and place of each control.
    void windows_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<QRect>("twips"); // left, top, width, height; 15 twips a pixel
        QTest::newRow("titleLabel") << true << "titleLabel"
                                    << "Ticket_TALVOR" << 12.0 << QRect(1050, 240, 3885, 480);
        QTest::newRow("versionLabel") << true << "versionLabel"
                                      << "Version 1.0.3" << 12.0 << QRect(1080, 780, 3885, 345);
        QTest::newRow("descriptionLabel")
            << true << "descriptionLabel"
            << "Downloader for programable ticket data" << 9.75 << QRect(1050, 1245, 3885, 690);
        QTest::newRow("makerLabel")
            << true << "makerLabel" << WindowLook::withLineBreaks(AboutDialog::kMakerLines) << 8.25
            << QRect(240, 2625, 3870, 825);
        QTest::newRow("okButton") << true << "okButton"
                                  << "Aceptar" << 8.25 << QRect(4320, 2625, 1500, 465);
        QTest::newRow("okButton") << false << "okButton"
                                  << "OK" << 8.25 << QRect(4680, 120, 1215, 375);
        QTest::newRow("englishLabel")
            << false << "englishLabel"
            << "English:\r\nSee file Help Help Programmable Ticket TALVOR.pdf" << 9.75
            << QRect(120, 240, 4455, 855);
        QTest::newRow("spanishLabel")
            << false << "spanishLabel"
            << "Espa\u00f1ol:\r\nVer archivo Ayuda ticket programable TALVOR.pdf" << 9.75
            << QRect(120, 1320, 4455, 975);
    }
    void windows()
    {
        QFETCH(bool, about);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(qreal, points);
        QFETCH(QRect, twips);
        const auto px = [](int t) { return qRound(t / 15.0); };
        const QRect geometry(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
        std::unique_ptr<QDialog> window(about ? static_cast<QDialog*>(new AboutDialog)
                                              : static_cast<QDialog*>(new HelpDialog));
        window->show();
        QCOMPARE(window->windowTitle(), about ? QStringLiteral("About ...") : "Help");
        const QSize size = about ? QSize(396, 237) : QSize(402, 168);
        QCOMPARE(window->size(), size);
        QCOMPARE(window->maximumSize(), size);
        QVERIFY(window->isModal());
        QVERIFY(!window->windowIcon().isNull());
        QVERIFY(!(window->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        auto* widget = window->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->property("text").toString(), text);
        QVERIFY(widget->font().bold());
        QCOMPARE(widget->font().pointSizeF(), points);
        QCOMPARE(widget->geometry(), geometry);
        if (about && qobject_cast<QLabel*>(widget))
            QCOMPARE(widget->palette().color(QPalette::WindowText), QColor(Qt::black));
    }

    void makerLines()
    {
        AboutDialog about;
        // Three lines as the window shows them: two parts of the maker's name and the years.
        const QString shown = about.findChild<QLabel*>(QStringLiteral("makerLabel"))->text();
        const QStringList lines = shown.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        QCOMPARE(lines.size(), 3);
        for (const QString& line : lines)
            QVERIFY(!line.trimmed().isEmpty());
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap().size(),
                 QSize(32, 32));
    }

    // Enter and Escape press "Aceptar" of the About window; Escape leaves Help open.
    void closing_data()
    {
        QTest::addColumn<bool>("about");
        QTest::addColumn<int>("key"); // 0: click the button
        QTest::addColumn<bool>("closes");
        QTest::newRow("About, Aceptar") << true << 0 << true;
        QTest::newRow("About, Escape") << true << int(Qt::Key_Escape) << true;
        QTest::newRow("About, Enter") << true << int(Qt::Key_Return) << true;
        QTest::newRow("Help, OK") << false << 0 << true;
        QTest::newRow("Help, Escape") << false << int(Qt::Key_Escape) << false;
    }
    void closing()
    {
        QFETCH(bool, about);
        QFETCH(int, key);
        QFETCH(bool, closes);
        QDialog* window = about ? static_cast<QDialog*>(new AboutDialog) : new HelpDialog;
        QPointer<QDialog> guard(window);
        QSignalSpy finished(window, &QDialog::finished);
        window->show();
        auto* button = window->findChild<QPushButton*>("okButton");
        QCOMPARE(button->text(), about ? QStringLiteral("Aceptar") : QStringLiteral("OK"));
        QCOMPARE(button->isDefault(), about);
        QSignalSpy clicked(button, &QPushButton::clicked);
        if (key == 0)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            QTest::keyClick(window, Qt::Key(key));
        QCOMPARE(clicked.count(), closes ? 1 : 0);
        QCOMPARE(finished.count(), closes ? 1 : 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(guard.isNull(), closes);
        delete guard.data();
    }

    void icon()
    {
        const QImage image = AppIcon::icon().pixmap(32, 32).toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        // Drawn, not blank: an opaque middle inside a rounded, transparent corner.
        QCOMPARE(qAlpha(image.pixel(16, 16)), 255);
        QVERIFY(qAlpha(image.pixel(0, 0)) < 255);
        QVERIFY(AppIcon::icon().availableSizes().contains(QSize(256, 256)));
    }
};

QTEST_MAIN(TestInfo)
#include "test_info.moc"
