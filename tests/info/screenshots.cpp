// Renders each dialog and information window to a PNG, for the documentation:
// dialog-screenshots <output folder>
#include "dialogs/BaudDialog.h"
#include "dialogs/PortDialog.h"
#include "dialogs/TcpHostDialog.h"
#include "info/AboutDialog.h"
#include "info/HelpDialog.h"
#include "link/ChannelManager.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

static bool save(QDialog* dialog, const QDir& folder, const QString& name)
{
    dialog->show();
    const bool saved = dialog->grab().save(folder.filePath(name));
    QTextStream(stdout) << (saved ? "wrote " : "FAILED ") << folder.filePath(name) << '\n';
    delete dialog;
    return saved;
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: dialog-screenshots <output folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir settingsDir;
    ChannelManager state(settingsDir.filePath(QStringLiteral("TicketTalvor.ini")));
    // A machine with COM 1 and COM 3 to COM 5, on COM 3 at 19200 baud.
    for (int k = 1; k <= SerialPort::kPortCount; ++k)
        state.setPortPresent(k, k == 1 || (k >= 3 && k <= 5));
    state.serialPort().setCommPort(3);
    state.serialPort().setSettings(QStringLiteral("19200,n,8,1"));
    state.tcpClient().setRemoteHost(QStringLiteral("192.168.1.100"));
    state.tcpClient().setRemotePort(1234);

    bool ok = save(new PortDialog(state.channelSettings()), folder, QStringLiteral("comm-dialog.png"));
    ok = save(new BaudDialog(state.rateForDialog()), folder, QStringLiteral("baud-dialog.png")) && ok;
    ok = save(new TcpHostDialog(state.channelSettings()), folder, QStringLiteral("tcpip-dialog.png")) && ok;
    ok = save(new AboutDialog, folder, QStringLiteral("about.png")) && ok;
    ok = save(new HelpDialog, folder, QStringLiteral("help.png")) && ok;
    return ok ? 0 : 1;
}
