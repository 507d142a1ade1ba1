#include "platform/SettingsStore.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

class TestSettings : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    QByteArray fileBytes() const { return TestFiles::read(m_path); }
    void writeFile(const QByteArray& bytes) const { QVERIFY(TestFiles::write(m_path, bytes)); }

    // The choice as the user "nobody" makes it: root writes regardless of the permission bits,
    // so as root the folders are handed to nobody and the choice is made by a helper that runs
    // as nobody. Empty when that failed; the test then fails, as nothing else can show it.
    static QString defaultPathAsNobody(const QString& root, const QString& exeDir,
                                       const QString& configDir)
    {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            return {};
        // The build tree may lie where nobody cannot look; the copy lies in a folder it owns.
        const QString probe = QDir(root).filePath(QStringLiteral("settings_path_probe"));
        if (!QFile::copy(QStringLiteral(SETTINGS_PATH_PROBE), probe))
            return {};
        QStringList owned{root};
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            owned.append(it.next());
        for (const QString& path : owned) {
            if (::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return {};
        }
        QProcess process;
        process.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                       QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                       QStringLiteral("--clear-groups"), probe, exeDir, configDir});
        QSignalSpy finished(&process, &QProcess::finished);
        if (!finished.wait(10000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            qWarning() << "settings_path_probe as nobody:" << process.errorString()
                       << process.readAllStandardError();
            return {};
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

private slots:
    void init()
    {
        m_path = m_dir.filePath(QStringLiteral("TicketTalvor.ini"));
        QFile::remove(m_path);
    }

    void readsValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("written form")
            << QByteArray("[CommSettings]\nCommbaud= 2\n") << "CommSettings"
            << "CommBaud"
            << "2";
        QTest::newRow("blanks around")
            << QByteArray("[CommSettings]\r\nCommPort =   3   \r\n") << "CommSettings"
            << "CommPort"
            << "3";
        QTest::newRow("key case") << QByteArray("[CommSettings]\nCOMMBAUD=4\n") << "CommSettings"
                                  << "CommBaud"
                                  << "4";
        QTest::newRow("section case")
            << QByteArray("[commsettings]\nIP=10.0.0.7\n") << "CommSettings"
            << "IP"
            << "10.0.0.7";
        QTest::newRow("other section")
            << QByteArray("[Other]\nCommPort=5\n[CommSettings]\n") << "CommSettings"
            << "CommPort"
            << "";
        QTest::newRow("missing key") << QByteArray("[CommSettings]\nIP=1.2.3.4\n") << "CommSettings"
                                     << "Port"
                                     << "";
        QTest::newRow("no file") << QByteArray() << "CommSettings"
                                 << "CommPort"
                                 << "";
        QTest::newRow("comment is no key")
            << QByteArray("[CommSettings]\n;CommPort=7\nCommPort=TCP\n") << "CommSettings"
            << "CommPort"
            << "TCP";
        QTest::newRow("quotes go before the cut")
            << QByteArray("[S]\nK=\"" + QByteArray(254, 'x') + "\"\n") << "S"
            << "K" << QString(254, u'x');
        QTest::newRow("quoted blanks kept") << QByteArray("[S]\nK = ' 1 ' \n") << "S"
                                            << "K"
                                            << " 1 ";
        QTest::newRow("cut at 254") << QByteArray("[S]\nK=" + QByteArray(300, 'x') + "\n") << "S"
                                    << "K" << QString(254, u'x');
    }
    void readsValues()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        if (!content.isEmpty())
            writeFile(content);
        QCOMPARE(SettingsStore(m_path).readValue(section, key), expected);
    }

    void writesOneLine_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << QByteArray() << "Commbaud"
                                  << "2" << QByteArray("[CommSettings]\r\nCommbaud= 2\r\n");
        QTest::newRow("value trimmed") << QByteArray() << "CommPort"
                                       << "  3 " << QByteArray("[CommSettings]\r\nCommPort= 3\r\n");
        QTest::newRow("replaced in place, other case")
            << QByteArray("; settings\r\n[CommSettings]\r\nCOMMBAUD = 6\r\nCommPort=1\r\n"
                          "[PortNames]\r\nCOM1=/dev/ttyUSB0\r\n")
            << "Commbaud"
            << "2"
            << QByteArray("; settings\r\n[CommSettings]\r\nCOMMBAUD = 2\r\nCommPort=1\r\n"
                          "[PortNames]\r\nCOM1=/dev/ttyUSB0\r\n");
        QTest::newRow("added to its section")
            << QByteArray("[CommSettings]\r\nCommbaud= 2\r\n\r\n[PortNames]\r\nCOM1=/dev/x\r\n")
            << "CommPort"
            << "3"
            << QByteArray("[CommSettings]\r\nCommbaud= 2\r\nCommPort= 3\r\n\r\n[PortNames]\r\n"
                          "COM1=/dev/x\r\n");
        QTest::newRow("section appended, last line unterminated")
            << QByteArray("[PortNames]\nCOM1=/dev/pts/3") << "CommPort"
            << "TCP" << QByteArray("[PortNames]\nCOM1=/dev/pts/3\n[CommSettings]\nCommPort= TCP\n");
        QTest::newRow("line break cannot split the value")
            << QByteArray() << "CommPort"
            << "1\r\n[X]" << QByteArray("[CommSettings]\r\nCommPort= 1[X]\r\n");
    }
    void writesOneLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isEmpty())
            writeFile(before);
        SettingsStore store(m_path);
        store.writeValue(QStringLiteral("CommSettings"), key, value);
        QCOMPARE(fileBytes(), after);
        QCOMPARE(store.readValue(QStringLiteral("CommSettings"), key),
                 value.trimmed().remove(u'\r').remove(u'\n'));
    }

    void failedWriteLeavesFileAlone()
    {
        const QString blocked = m_dir.filePath(QStringLiteral("no-such-folder/TicketTalvor.ini"));
        SettingsStore(blocked).writeValue(QStringLiteral("CommSettings"),
                                          QStringLiteral("CommPort"), QStringLiteral("3"));
        QVERIFY(!QFile::exists(blocked));
        QCOMPARE(SettingsStore(blocked).readValue(QStringLiteral("CommSettings"),
                                                  QStringLiteral("CommPort")),
                 QString());
    }

    // Where the settings live, for each state of the folder beside the executable.
    void choosesTheFile_data()
    {
        QTest::addColumn<QString>("beside");
        QTest::addColumn<bool>("besideUsed");

        QTest::newRow("writable file beside: portable copy") << "file" << true;
        QTest::newRow("no file beside") << "none" << false;
        QTest::newRow("read-only file beside") << "read-only file" << false;
        QTest::newRow("file beside in a read-only folder") << "read-only folder" << false;
        QTest::newRow("folder named like the file") << "folder" << false;
    }
    void choosesTheFile()
    {
        QFETCH(QString, beside);
        QFETCH(bool, besideUsed);

        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString exeDir = root.filePath(QStringLiteral("bin"));
        const QString configDir = root.filePath(QStringLiteral("config/TicketTalvor"));
        const QString besidePath = exeDir + QStringLiteral("/TicketTalvor.ini");
        const QString configPath = configDir + QStringLiteral("/TicketTalvor.ini");
        QVERIFY(QDir().mkpath(exeDir));

        if (beside == QStringLiteral("folder")) {
            QVERIFY(QDir().mkpath(besidePath));
        } else if (beside != QStringLiteral("none")) {
            QFile file(besidePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[CommSettings]\r\nCommbaud= 5\r\n");
        }
        const QFile::Permissions readOnly =
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ReadOther;
        QString lockedPath;
        if (beside == QStringLiteral("read-only file"))
            lockedPath = besidePath;
        if (beside == QStringLiteral("read-only folder"))
            lockedPath = exeDir;
        if (!lockedPath.isEmpty())
            QVERIFY(QFile::setPermissions(lockedPath, readOnly));

        const QString chosen = ::geteuid() == 0
                                   ? defaultPathAsNobody(root.path(), exeDir, configDir)
                                   : SettingsStore::defaultPath(exeDir, configDir);
        if (!lockedPath.isEmpty())
            QFile::setPermissions(lockedPath, readOnly | QFile::WriteOwner);
        QVERIFY2(!chosen.isEmpty(), "the choice could not be made as an unprivileged user");

        QCOMPARE(chosen, besideUsed ? besidePath : configPath);
        // The configuration folder is made only when it is going to hold the file.
        QCOMPARE(QFileInfo(configDir).isDir(), !besideUsed);

        // First start: the program writes the rate code into the chosen file, as it always has.
        SettingsStore store(chosen);
        if (!besideUsed) {
            store.writeValue(QStringLiteral("CommSettings"), QStringLiteral("Commbaud"),
                             QStringLiteral("2"));
            QFile file(configPath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("[CommSettings]\r\nCommbaud= 2\r\n"));
        } else {
            QCOMPARE(store.readValue(QStringLiteral("CommSettings"), QStringLiteral("CommBaud")),
                     QStringLiteral("5"));
        }
    }

    void existingUserFileIsKept()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString configDir = root.filePath(QStringLiteral("TicketTalvor"));
        QVERIFY(QDir().mkpath(configDir));
        const QString configPath = configDir + QStringLiteral("/TicketTalvor.ini");
        QFile file(configPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[CommSettings]\nCommPort=TCP\n");
        file.close();

        const QString chosen =
            SettingsStore::defaultPath(root.filePath(QStringLiteral("no-such-bin")), configDir);
        QCOMPARE(chosen, configPath);
        QCOMPARE(SettingsStore(chosen).readValue(QStringLiteral("CommSettings"),
                                                 QStringLiteral("CommPort")),
                 QStringLiteral("TCP"));
    }

    // No home folder, so no user folder: the file beside the program, never one in the
    // working folder.
    void noUserFolderKeepsTheFileBeside()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QCOMPARE(SettingsStore::defaultPath(root.path(), QString()),
                 root.path() + QStringLiteral("/TicketTalvor.ini"));
    }

    // Without a file beside the test program, the settings go to $XDG_CONFIG_HOME/TicketTalvor.
    void userFolderFollowsXdgConfigHome()
    {
        const QString besideTest =
            QDir(QCoreApplication::applicationDirPath()).filePath(SettingsStore::kFileName);
        if (QFileInfo::exists(besideTest))
            QSKIP("a TicketTalvor.ini lies beside the test program");
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QByteArray oldHome = qgetenv("XDG_CONFIG_HOME");
        const QString oldName = QCoreApplication::applicationName();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        QCoreApplication::setApplicationName(SettingsStore::kApplicationName);

        const QString chosen = SettingsStore::defaultPath();

        QCoreApplication::setApplicationName(oldName);
        if (oldHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldHome);
        QCOMPARE(chosen, home.path() + QStringLiteral("/TicketTalvor/TicketTalvor.ini"));
        QVERIFY(QFileInfo(home.path() + QStringLiteral("/TicketTalvor")).isDir());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
