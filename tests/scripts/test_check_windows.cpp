#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

// scripts/check-windows run on a copy of src/ with one fault seeded at the end of a file: what
// MinGW refuses, what it accepts but a Windows build must not have, and what must pass.
class TestCheckWindows : public QObject {
    Q_OBJECT
private slots:
    void seededFaults_data();
    void seededFaults();
    void cleanTree();
};

namespace {
const QString kSourceDir = QStringLiteral(TALVOR_SOURCE_DIR);
const QString kChecked = QStringLiteral("platform/SerialChannel.cpp");

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + u'/' + QDir(from).relativeFilePath(file);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}

int lineCount(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(f.readAll().count('\n'));
}

struct Run {
    int exitCode = -1;
    QString output;
};

Run runCheck(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"),
                  QStringList{kSourceDir + QStringLiteral("/scripts/check-windows")} + arguments);
    Run run;
    if (!process.waitForFinished(600'000))
        return run;
    run.output = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}
} // namespace

void TestCheckWindows::seededFaults_data()
{
    QTest::addColumn<QString>("file"); // the one seeded, below src/
    QTest::addColumn<QString>("seed"); // appended to it
    QTest::addColumn<bool>("passes");
    // Lines the check must print, exactly these for the scan; @N is the seed's line N.
    QTest::addColumn<QStringList>("findings");
    // Part of the compiler's complaint, when MinGW itself refuses the seed.
    QTest::addColumn<QString>("compileError");

    const QString cpp = kChecked;
    const QString header = QStringLiteral("platform/SerialChannel.h");
    QTest::newRow("untouched") << cpp << QString() << true << QStringList() << QString();
    QTest::newRow("POSIX header and calls inside Q_OS_UNIX")
        << cpp
        << "#ifdef Q_OS_UNIX\n#include <sys/ioctl.h>\n#include <termios.h>\n#include <unistd.h>\n"
           "static int probe(int fd) { termios t{}; return ::tcgetattr(fd, &t) + ::ioctl(fd, 0) "
           "+ ::access(\"/dev/ttyS0\", 0); }\n#endif\n"
        << true << QStringList() << QString();
    QTest::newRow("Linux header inside Q_OS_LINUX")
        << cpp << "#ifdef Q_OS_LINUX\n#include <linux/serial.h>\n#endif\n"
        << true << QStringList() << QString();
    QTest::newRow("call named in a message")
        << cpp << "static const char* kWhy = \"ioctl(TIOCSSERIAL) refused\";\n"
        << true << QStringList() << QString();
    QTest::newRow("qDebug in a checkout below /tmp")
        << cpp << "static void say() { qDebug(\"said\"); }\n"
        << true << QStringList() << QString();
    QTest::newRow("termios.h unguarded")
        << cpp << "#include <termios.h>\n"
        << false << QStringList() << "SerialChannel.cpp:@1:10: fatal error: termios.h";
    QTest::newRow("unistd.h unguarded")
        << cpp << "#include <unistd.h>\n"
        << false << QStringList{"SerialChannel.cpp:@1: POSIX header <unistd.h>"} << QString();
    QTest::newRow("unistd.h unguarded in a header")
        << header << "#include <unistd.h>\n"
        << false << QStringList{"SerialChannel.h:@1: POSIX header <unistd.h>"} << QString();
    QTest::newRow("::access unguarded")
        << cpp << "#include <io.h>\nstatic int probe(const char* p) { return ::access(p, 0); }\n"
        << false << QStringList{"SerialChannel.cpp:@2: POSIX call ::access()"} << QString();
    QTest::newRow("device path unguarded")
        << cpp << "static const char* kDevice = \"/dev/ttyUSB0\";\n"
        << false << QStringList{"SerialChannel.cpp:@1: Unix path literal \"/dev/ttyUSB0\""}
        << QString();
    QTest::newRow("ssize_t unguarded")
        << cpp << "static ssize_t kCount = 0;\n"
        << false << QStringList{"SerialChannel.cpp:@1: POSIX type ssize_t"} << QString();
}

void TestCheckWindows::seededFaults()
{
    QFETCH(QString, file);
    QFETCH(QString, seed);
    QFETCH(bool, passes);
    QFETCH(QStringList, findings);
    QFETCH(QString, compileError);

    // Below /tmp whatever TMPDIR says, so that a path in __FILE__ would look like a Unix one.
    QTemporaryDir dir(QStringLiteral("/tmp/check-windows-XXXXXX"));
    QVERIFY(dir.isValid());
    const QString root = dir.filePath(QStringLiteral("src"));
    QVERIFY(copyTree(kSourceDir + QStringLiteral("/src"), root));
    const QString seeded = root + u'/' + file;
    const int firstSeedLine = lineCount(seeded) + 1;
    QVERIFY(firstSeedLine > 1);
    {
        QFile f(seeded);
        QVERIFY(f.open(QIODevice::Append));
        f.write(seed.toUtf8());
    }
    const auto resolve = [&](QString text) {
        static const QRegularExpression at(QStringLiteral("@(\\d+)"));
        const auto m = at.match(text);
        if (m.hasMatch())
            text.replace(m.capturedStart(), m.capturedLength(),
                         QString::number(firstSeedLine + m.captured(1).toInt() - 1));
        return QFileInfo(seeded).path() + u'/' + text;
    };

    const Run run = runCheck({QStringLiteral("--root"), root, root + u'/' + kChecked});
    QVERIFY2(run.exitCode == (passes ? 0 : 1), qPrintable(run.output));

    QSet<QString> expected;
    for (const QString& finding : findings)
        expected.insert(resolve(finding));
    static const QRegularExpression finding(QStringLiteral(":\\d+: (POSIX|Unix) "));
    QSet<QString> printed;
    for (const QString& line : run.output.split(u'\n'))
        if (line.startsWith(root) && finding.match(line).hasMatch())
            printed.insert(line);
    QCOMPARE(printed, expected);
    if (!compileError.isEmpty())
        QVERIFY2(run.output.contains(resolve(compileError)), qPrintable(run.output));
    else
        QVERIFY2(!run.output.contains(QStringLiteral("does not compile")), qPrintable(run.output));
}

// The tree as committed compiles for Windows and keeps its POSIX code behind the guards.
void TestCheckWindows::cleanTree()
{
    const Run run = runCheck({kSourceDir + QStringLiteral("/src")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains(QStringLiteral("compile for Windows, no POSIX-only code")),
             qPrintable(run.output));
}

QTEST_GUILESS_MAIN(TestCheckWindows)
#include "test_check_windows.moc"
