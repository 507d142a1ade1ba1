// Prints the settings file the program would choose for the folder beside it and the user's
// folder. The settings test runs it as an unprivileged user: for root, permission bits do not
// bind, so only another user can show how a read-only folder is treated.
#include "platform/SettingsStore.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 3) {
        std::fputs("usage: settings_path_probe EXE_DIR CONFIG_DIR\n", stderr);
        return 2;
    }
    const QString chosen = SettingsStore::defaultPath(QString::fromLocal8Bit(argv[1]),
                                                      QString::fromLocal8Bit(argv[2]));
    std::fputs(chosen.toLocal8Bit().constData(), stdout);
    return 0;
}
