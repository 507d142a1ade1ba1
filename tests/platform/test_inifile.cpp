#include "platform/IniFile.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The INI file as the Windows profile routines treat it: what a read returns and which bytes a
// write leaves in the file.
class TestIniFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_path;

    QByteArray fileBytes() const { return TestFiles::read(m_path); }
    void writeFile(const QByteArray& bytes) const { QVERIFY(TestFiles::write(m_path, bytes)); }

    // One write into a file holding `before` (no file at all when it is null).
    void checkWrite(const QByteArray& before, const QByteArray& section, const QByteArray& key,
                    const QByteArray& value, const QByteArray& after)
    {
        if (!before.isNull())
            writeFile(before);
        QVERIFY(IniFile::write(m_path, section, key, value));
        QCOMPARE(fileBytes(), after);
    }

    // The columns of the tables that check one write: file before, what is written, file after.
    static void writeColumns()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");
    }

private slots:
    void init()
    {
        m_path = m_dir.filePath(QStringLiteral("TicketTalvor.ini"));
        QFile::remove(m_path);
    }

    void quotes_data()
    {
        QTest::addColumn<QByteArray>("value"); // as it stands after "Key=" in the file
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("double quotes") << QByteArray("\"2\"") << QByteArray("2");
        QTest::newRow("single quotes") << QByteArray("'192.168.0.1'") << QByteArray("192.168.0.1");
        QTest::newRow("blanks inside kept") << QByteArray("\" a b \"") << QByteArray(" a b ");
        QTest::newRow("blanks outside trimmed first")
            << QByteArray(" \t '3' \t") << QByteArray("3");
        QTest::newRow("empty pair") << QByteArray("\"\"") << QByteArray("");
        QTest::newRow("lone quote") << QByteArray("\"") << QByteArray("\"");
        QTest::newRow("opening only") << QByteArray("\"abc") << QByteArray("\"abc");
        QTest::newRow("closing only") << QByteArray("abc'") << QByteArray("abc'");
        QTest::newRow("mismatched") << QByteArray("\"abc'") << QByteArray("\"abc'");
        QTest::newRow("one pair only") << QByteArray("\"\"x\"\"") << QByteArray("\"x\"");
        QTest::newRow("first and last, not a pair around one word")
            << QByteArray("\"a\" \"b\"") << QByteArray("a\" \"b");
        QTest::newRow("quotes inside stay") << QByteArray("a\"b\"") << QByteArray("a\"b\"");
    }
    void quotes()
    {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, expected);
        writeFile("[CommSettings]\r\nKey=" + value + "\r\n");
        QCOMPARE(IniFile::read(m_path, "CommSettings", "Key"), expected);
    }

    void duplicateSections_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("read");  // the value of k before the write
        QTest::addColumn<QByteArray>("after"); // once k is written as 9
        QTest::newRow("key only in the second")
            << QByteArray("[C]\r\na=1\r\n[C]\r\nk=2\r\n") << QByteArray()
            << QByteArray("[C]\r\na=1\r\nk=9\r\n[C]\r\nk=2\r\n");
        QTest::newRow("key in both, first wins")
            << QByteArray("[C]\r\nk=1\r\n[C]\r\nk=2\r\n") << QByteArray("1")
            << QByteArray("[C]\r\nk=9\r\n[C]\r\nk=2\r\n");
        QTest::newRow("second spelt in other case")
            << QByteArray("[C]\r\n[X]\r\nk=0\r\n[c]\r\nk=2\r\n") << QByteArray()
            << QByteArray("[C]\r\nk=9\r\n[X]\r\nk=0\r\n[c]\r\nk=2\r\n");
        QTest::newRow("first spelt in other case")
            << QByteArray("[c]\r\nk=1\r\n[C]\r\nk=2\r\n") << QByteArray("1")
            << QByteArray("[c]\r\nk=9\r\n[C]\r\nk=2\r\n");
        QTest::newRow("key twice in the first")
            << QByteArray("[C]\r\nk=1\r\nK=2\r\n") << QByteArray("1")
            << QByteArray("[C]\r\nk=9\r\nK=2\r\n");
    }
    void duplicateSections()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, after);
        writeFile(before);
        QCOMPARE(IniFile::read(m_path, "C", "k"), read);
        QVERIFY(IniFile::write(m_path, "C", "k", "9"));
        QCOMPARE(fileBytes(), after);
        QCOMPARE(IniFile::read(m_path, "C", "k"), QByteArray("9"));
    }

    void createdFile_data()
    {
        writeColumns();
        QTest::newRow("no file") << QByteArray() << QByteArray("CommSettings")
                                 << QByteArray("Commbaud") << QByteArray(" 2")
                                 << QByteArray("[CommSettings]\r\nCommbaud= 2\r\n");
        QTest::newRow("empty file")
            << QByteArray("") << QByteArray("CommSettings") << QByteArray("CommPort")
            << QByteArray("TCP") << QByteArray("[CommSettings]\r\nCommPort=TCP\r\n");
        QTest::newRow("names without their blanks")
            << QByteArray() << QByteArray(" \tPortNames ") << QByteArray("  COM1\t")
            << QByteArray(" /dev/ttyS0") << QByteArray("[PortNames]\r\nCOM1= /dev/ttyS0\r\n");
        QTest::newRow("value as given")
            << QByteArray() << QByteArray("S") << QByteArray("K") << QByteArray(" \"a\" \t")
            << QByteArray("[S]\r\nK= \"a\" \t\r\n");
    }
    void createdFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        checkWrite(before, section, key, value, after);
    }

    void replacedLine_data()
    {
        writeColumns();
        QTest::newRow("indentation and spelling kept")
            << QByteArray("[CommSettings]\r\n  COMMBAUD=7\r\n") << QByteArray("CommSettings")
            << QByteArray("Commbaud") << QByteArray(" 2")
            << QByteArray("[CommSettings]\r\n  COMMBAUD= 2\r\n");
        QTest::newRow("blanks around '=' kept")
            << QByteArray("[C]\r\n\tKey \t= old value \r\nx=1\r\n") << QByteArray("C")
            << QByteArray("key") << QByteArray(" new")
            << QByteArray("[C]\r\n\tKey \t= new\r\nx=1\r\n");
        QTest::newRow("old value with '=' goes whole")
            << QByteArray("[C]\r\nk=a=b\r\n") << QByteArray("C") << QByteArray("K")
            << QByteArray("c") << QByteArray("[C]\r\nk=c\r\n");
        QTest::newRow("empty value written")
            << QByteArray("[C]\r\nk=1\r\n") << QByteArray("C") << QByteArray("k") << QByteArray()
            << QByteArray("[C]\r\nk=\r\n");
        QTest::newRow("found with blanks around the asked names")
            << QByteArray("[ C ]\r\nk = 1\r\n") << QByteArray(" c") << QByteArray("K ")
            << QByteArray(" 2") << QByteArray("[ C ]\r\nk = 2\r\n");
    }
    void replacedLine()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        checkWrite(before, section, key, value, after);
    }

    void lineEnds_data()
    {
        writeColumns();
        QTest::newRow("added to a CRLF file")
            << QByteArray("[C]\r\na=1\r\n") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[C]\r\na=1\r\nk=v\r\n");
        QTest::newRow("added to an LF file")
            << QByteArray("[C]\na=1\n") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[C]\na=1\nk=v\n");
        QTest::newRow("section added to an LF file")
            << QByteArray("[P]\na=1\n") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[P]\na=1\n[C]\nk=v\n");
        QTest::newRow("mixed file follows its first line end")
            << QByteArray("; x\n[C]\r\na=1\r\n") << QByteArray("C") << QByteArray("k")
            << QByteArray("v") << QByteArray("; x\n[C]\r\na=1\r\nk=v\n");
        QTest::newRow("file without a line end gets CRLF")
            << QByteArray("[C]") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[C]\r\nk=v\r\n");
        QTest::newRow("unterminated last line before an added line")
            << QByteArray("[C]\na=1") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[C]\na=1\nk=v\n");
        QTest::newRow("replaced last line gets one, CRLF file")
            << QByteArray("[C]\r\nk=1") << QByteArray("C") << QByteArray("k") << QByteArray("2")
            << QByteArray("[C]\r\nk=2\r\n");
        QTest::newRow("replaced last line gets one, LF file")
            << QByteArray("[C]\nk=1") << QByteArray("C") << QByteArray("k") << QByteArray("2")
            << QByteArray("[C]\nk=2\n");
        QTest::newRow("replaced line keeps its own end")
            << QByteArray("[C]\r\nk=1\nx=0\r\n") << QByteArray("C") << QByteArray("k")
            << QByteArray("2") << QByteArray("[C]\r\nk=2\nx=0\r\n");
    }
    void lineEnds()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        checkWrite(before, section, key, value, after);
    }

    void otherLinesUnchanged_data()
    {
        writeColumns();
        // x in [P] must read the same before and after the write.
        QTest::newRow("last line ends in CR, LF file")
            << QByteArray("[C]\nk=1\n[P]\nx=a\r") << QByteArray("C") << QByteArray("n")
            << QByteArray("2") << QByteArray("[C]\nk=1\nn=2\n[P]\nx=a\r\r\n");
        QTest::newRow("last line ends in CR, section added")
            << QByteArray("[P]\nx=a\r") << QByteArray("C") << QByteArray("k") << QByteArray("v")
            << QByteArray("[P]\nx=a\r\r\n[C]\nk=v\n");
        QTest::newRow("only line ends in CR")
            << QByteArray("[P]\r") << QByteArray("P") << QByteArray("k") << QByteArray("b")
            << QByteArray("[P]\r\r\nk=b\r\n");
        QTest::newRow("last line ends in CR, CRLF file")
            << QByteArray("[P]\r\nx=a\r") << QByteArray("P") << QByteArray("k") << QByteArray("v")
            << QByteArray("[P]\r\nx=a\r\r\nk=v\r\n");
        QTest::newRow("comments, 8-bit bytes, blank lines")
            << QByteArray("; \xc4\xe9\xff\r\n\r\n[P]\r\nx=\xfe\x80 \r\n# k=0\r\n\r\n[C]\r\n")
            << QByteArray("P") << QByteArray("k") << QByteArray("1")
            << QByteArray("; \xc4\xe9\xff\r\n\r\n[P]\r\nx=\xfe\x80 \r\n# k=0\r\nk=1\r\n\r\n"
                          "[C]\r\n");
        QTest::newRow("NUL and lone CR inside lines")
            << QByteArrayLiteral("[P]\r\n\0\r\nx=a\0b\rc\r\n\r\n[Q]\r\n") << QByteArray("P")
            << QByteArray("k") << QByteArray("1")
            << QByteArrayLiteral("[P]\r\n\0\r\nx=a\0b\rc\r\nk=1\r\n\r\n[Q]\r\n");
        QTest::newRow("lines around a replaced one")
            << QByteArray("[P]\nx=1 \n\tk = 2\r\n y\n") << QByteArray("P") << QByteArray("k")
            << QByteArray(" 3") << QByteArray("[P]\nx=1 \n\tk = 3\r\n y\n");
    }
    void otherLinesUnchanged()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        writeFile(before);
        const QByteArray other = IniFile::read(m_path, "P", "x");
        checkWrite(before, section, key, value, after);
        QCOMPARE(IniFile::read(m_path, "P", "x"), other);
    }

    void refusedWrites_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("LF in the value") << QByteArray("C") << QByteArray("k") << QByteArray("1\n");
        QTest::newRow("CR in the value") << QByteArray("C") << QByteArray("k") << QByteArray("1\r");
        QTest::newRow("CR in the key") << QByteArray("C") << QByteArray("k\r") << QByteArray("1");
        QTest::newRow("LF in the section")
            << QByteArray("C\n") << QByteArray("k") << QByteArray("1");
        QTest::newRow("empty key") << QByteArray("C") << QByteArray("") << QByteArray("1");
        QTest::newRow("blank key") << QByteArray("C") << QByteArray(" \t") << QByteArray("1");
        QTest::newRow("'=' in the key") << QByteArray("C") << QByteArray("a=b") << QByteArray("1");
        QTest::newRow("key like a section")
            << QByteArray("C") << QByteArray("[k") << QByteArray("]");
        QTest::newRow("key like a comment")
            << QByteArray("C") << QByteArray(";k") << QByteArray("1");
        QTest::newRow("key like a # comment")
            << QByteArray("C") << QByteArray(" #k") << QByteArray("1");
        QTest::newRow("']' in the section")
            << QByteArray("a]b") << QByteArray("k") << QByteArray("1");
    }
    void refusedWrites()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QVERIFY(!IniFile::write(m_path, section, key, value));
        QVERIFY(!QFile::exists(m_path));
        const QByteArray before("[C]\nk=0\n");
        writeFile(before);
        QVERIFY(!IniFile::write(m_path, section, key, value));
        QCOMPARE(fileBytes(), before);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
