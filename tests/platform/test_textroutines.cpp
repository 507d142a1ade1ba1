#include "platform/TextRoutines.h"

#include <QTest>

class TestTextRoutines : public QObject {
    Q_OBJECT
private slots:
    void csvLine_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << QStringList{"12345", "V2.05", "stored", "2"}
                               << "12345,V2.05,stored,2\r\n";
        QTest::newRow("empty fields kept") << QStringList{"", "a", ""} << ",a,\r\n";
        QTest::newRow("comma") << QStringList{"COM 1, 19200 baud", "x"}
                               << "\"COM 1, 19200 baud\",x\r\n";
        QTest::newRow("quotes doubled") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"\r\n";
        QTest::newRow("line breaks") << QStringList{"a\nb", "c\rd"} << "\"a\nb\",\"c\rd\"\r\n";
        QTest::newRow("blanks at the ends") << QStringList{" a", "b ", "c d"}
                                            << "\" a\",\"b \",c d\r\n";
        QTest::newRow("non-ASCII as is") << QStringList{"B\u00e1scula"} << "B\u00e1scula\r\n";
    }
    void csvLine()
    {
        QFETCH(QStringList, fields);
        QTEST(TextRoutines::csvLine(fields), "line");
    }
};

QTEST_GUILESS_MAIN(TestTextRoutines)
#include "test_textroutines.moc"
