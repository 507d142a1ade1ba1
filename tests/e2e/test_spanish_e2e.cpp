#include "dialogs/PortDialog.h"
#include "support/Screenshots.h"
#include "support/WindowRig.h"
#include "ui/Language.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <optional>

// The window program on an operator's machine set to Spanish: the language comes from the
// environment through QLocale::system(), and main() installs the translators as the program
// does. Every window, message and Qt's own buttons speak Spanish; the command line stays English.
class TestSpanishE2E : public QObject {
    Q_OBJECT

private:
    std::optional<WindowRig> m_rig;

    Ui::MainWindow& form() { return m_rig->form(); }

    static QString shots() { return qEnvironmentVariable("TALVOR_SCREENSHOT_DIR"); }

    static QStringList actionTexts(const QMenu* menu)
    {
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts;
    }

    // The message box the window has open, once it is shown.
    static QMessageBox* openBox()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible())
                return box;
        }
        return nullptr;
    }

private slots:
    void init() { m_rig.emplace(); }
    void cleanup() { m_rig.reset(); }

    void languageChoice_data()
    {
        QTest::addColumn<QStringList>("uiLanguages");
        QTest::addColumn<QString>("language");
        QTest::newRow("Spain") << QStringList{"es-ES"} << "es";
        QTest::newRow("Latin America") << QStringList{"es-419", "es"} << "es";
        QTest::newRow("underscore") << QStringList{"es_AR"} << "es";
        QTest::newRow("Spanish before English") << QStringList{"es-MX", "en-US"} << "es";
        QTest::newRow("English before Spanish") << QStringList{"en-US", "es-ES"} << "";
        QTest::newRow("French, then Spanish") << QStringList{"fr-FR", "es-ES"} << "es";
        QTest::newRow("C") << QStringList{"C"} << "";
        QTest::newRow("US English") << QStringList{"en-US", "en"} << "";
        QTest::newRow("German") << QStringList{"de-DE", "de"} << "";
        QTest::newRow("Estonian") << QStringList{"et-EE"} << "";
        QTest::newRow("none") << QStringList{} << "";
    }
    void languageChoice()
    {
        QFETCH(QStringList, uiLanguages);
        QFETCH(QString, language);
        QCOMPARE(Language::chosen(uiLanguages), language);
    }

    void windowInSpanish()
    {
        // Real message boxes, so that Qt's own buttons are read too.
        m_rig->realMessageBoxes = true;
        m_rig->start(WindowRig::Serial);

        // The main window, closed.
        QCOMPARE(form().fileMenu->title(), QStringLiteral("&Archivo"));
        QCOMPARE(form().commMenu->title(), QStringLiteral("&Comunicación"));
        QCOMPARE(form().helpMenu->title(), QStringLiteral("A&yuda"));
        QCOMPARE(actionTexts(form().fileMenu),
                 (QStringList{"Abrir juego de tickets...", "Guardar juego de tickets...", "-",
                              "Historial de descargas...", "-", "&Salir"}));
        QCOMPARE(actionTexts(form().commMenu), (QStringList{"Puerto", "Configuración", "Abrir"}));
        QCOMPARE(m_rig->window->panelText(1), QStringLiteral("Puerto cerrado"));
        QCOMPARE(form().connectButton->text(), QStringLiteral("Conectar"));
        QCOMPARE(form().downloadButton->text(), QStringLiteral("&Descargar"));
        QCOMPARE(form().versionLabel->text(), QStringLiteral("Versión SW:"));

        // A dialog: the port window, with the device of each port in its tooltip.
        form().portAction->trigger();
        auto* dialog = m_rig->window->findChild<PortDialog*>();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Puerto COM"));
        QCOMPARE(dialog->findChild<QGroupBox*>(QStringLiteral("upperFrame"))->title(),
                 QStringLiteral("PUERTO COM"));
        QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->text(),
                 QStringLiteral("Aceptar"));
        QCOMPARE(dialog->findChild<QPushButton*>(QStringLiteral("cancelButton"))->text(),
                 QStringLiteral("Cancelar"));
        QCOMPARE(dialog->portOption(0)->toolTip(),
                 QStringLiteral("Dispositivo: ") + m_rig->indicator->ptyPath());
        dialog->reject();

        // Open and query: the slots, their captions and buttons.
        form().openCloseAction->trigger();
        QCOMPARE(m_rig->window->panelText(1), QStringLiteral("Puerto abierto"));
        QCOMPARE(form().openCloseAction->text(), QStringLiteral("Cerrar"));
        form().connectButton->click();
        QTRY_VERIFY(m_rig->window->slotBox(1)->isVisible());
        QCOMPARE(m_rig->window->slotBox(1)->title(), QStringLiteral("Ticket bruto/neto/tara "));
        QCOMPARE(m_rig->window->slotBox(2)->title(), QStringLiteral("Camión 1.ª pesada "));
        QCOMPARE(m_rig->window->slotBox(1)->loadButton()->text(), QStringLiteral("Añadir ticket"));
        QCOMPARE(form().spaceBox->title(), QStringLiteral("Espacio para datos de tickets:  "));

        // A ticket long enough for the time left to show, the indicator answering a little
        // late and refusing one data block.
        const QString ticket = m_rig->writeFile(QStringLiteral("largo.prn"), QByteArray(1000, 'x'));
        emit m_rig->window->slotBox(1)->fileDropped(1, ticket);
        QCOMPARE(m_rig->window->slotBox(1)->loadButton()->text(), QStringLiteral("Quitar"));
        // Numbers keep their form: a blank where English has none, as in " 1000".
        QCOMPARE(m_rig->window->slotBox(1)->sizeEdit()->text(), QStringLiteral(" 1000"));
        if (!shots().isEmpty())
            m_rig->window->grab().save(shots() + QStringLiteral("/main-window.png"));

        sim::Faults faults = m_rig->indicator->faults();
        faults.nakAt.insert(0x0004);
        faults.delayMs = 3;
        m_rig->indicator->setFaults(faults);
        QStringList statuses;
        connect(form().statusEdit, &QLineEdit::textChanged, this, [&](const QString& text) {
            if (!text.isEmpty() && !statuses.contains(text))
                statuses.append(text);
        });
        QStringList barTexts;
        QString downloadShot = shots();
        connect(&m_rig->window->downloader(), &Downloader::blockDone, this, [&](qint32, qint32) {
            barTexts.append(form().progressBar->text());
            if (!downloadShot.isEmpty() && barTexts.last().contains(QStringLiteral("quedan"))) {
                m_rig->window->grab().save(downloadShot +
                                           QStringLiteral("/main-window-download.png"));
                downloadShot.clear();
            }
        });
        QSignalSpy finished(&m_rig->window->downloader(), &Downloader::finished);
        form().downloadButton->click();

        // The refused block: a message built of a slot's name and an address, and Qt's button.
        QTRY_VERIFY(openBox());
        QMessageBox* box = openBox();
        QCOMPARE(box->windowTitle(), QStringLiteral("Error de actualización"));
        QCOMPARE(box->text(), QStringLiteral("Error de datos\r\n\r\nEl indicador rechazó los datos "
                                             "de la posición 1 (Ticket bruto/neto/tara) en la "
                                             "dirección 0004."));
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->buttons().first()->text(), QStringLiteral("Aceptar"));
        if (!shots().isEmpty())
            box->grab().save(shots() + QStringLiteral("/message-box.png"));
        box->buttons().first()->click();

        // At the end, what was not stored.
        QTRY_VERIFY_WITH_TIMEOUT(openBox(), 30000);
        box = openBox();
        QVERIFY2(box->text().startsWith(QStringLiteral("Estos tickets no se guardaron:\r\nla "
                                                       "posición 1 (Ticket bruto/neto/tara): el "
                                                       "indicador rechazó los datos en la "
                                                       "dirección 0004.")),
                 qPrintable(box->text()));
        box->buttons().first()->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);

        // Tickets past the indicator's memory: the free box turns red and its tooltip says by
        // how much.
        const QString large =
            m_rig->writeFile(QStringLiteral("grande.prn"), QByteArray(60531, 'y'));
        emit m_rig->window->slotBox(2)->fileDropped(2, large);
        QCOMPARE(form().freeSpaceEdit->text(), QStringLiteral("-28763"));
        QVERIFY(form().freeSpaceEdit->toolTip().contains(QStringLiteral("28763")));
        Screenshots::save(Screenshots::withToolTip(m_rig->window.get(), form().freeSpaceEdit),
                          QStringLiteral("main-window-over-budget.png"));

        QCOMPARE(statuses.first(), QStringLiteral("Preparando datos ..."));
        QVERIFY(statuses.contains(QStringLiteral("Actualizando punteros ...")));
        QVERIFY(statuses.contains(QStringLiteral("Descargando datos  997/ 1000 bytes")));
        // "37 % - quedan 0:02": the share done and the time left.
        static const QRegularExpression timeLeft(
            QStringLiteral(R"(^\d{1,2} % - quedan \d+:\d\d$)"));
        QVERIFY2(barTexts.indexOf(timeLeft) >= 0, qPrintable(barTexts.join(u'|')));
    }

    // The command line installs no translator: its messages stay English on the same machine.
    void commandLineStaysEnglish()
    {
        QProcess cli;
        cli.start(QStringLiteral(TALVOR_CLI), {QStringLiteral("query"), QStringLiteral("--port"),
                                               m_rig->dir.filePath(QStringLiteral("ttyNone"))});
        QVERIFY(cli.waitForFinished(30000));
        const QString errors = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY2(errors.contains(QStringLiteral("The serial port ")) &&
                     errors.contains(QStringLiteral(" does not exist.")),
                 qPrintable(errors));
        QCOMPARE(cli.exitCode(), 3);
    }
};

int main(int argc, char** argv)
{
    // The operator's machine, as the environment tells the program: before QApplication, which
    // reads the locale.
    qputenv("LC_ALL", "es_ES.UTF-8");
    qputenv("LANG", "es_ES.UTF-8");
    qunsetenv("LANGUAGE");
    QApplication app(argc, argv);
    // What the program's main() does first.
    if (Language::install() != QLatin1String("es")) {
        qCritical("no Spanish translator was installed for the locale %s",
                  qPrintable(QLocale::system().name()));
        return 1;
    }
    TestSpanishE2E test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_spanish_e2e.moc"
