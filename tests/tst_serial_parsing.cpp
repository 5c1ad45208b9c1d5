// The reply rules every page reads through, and the channel's behaviour before any port is open.

#include "link/ReplyParsing.h"
#include "link/Serial.h"

#include <QtTest>

class SerialParsingTest : public QObject
{
    Q_OBJECT

private slots:
    void fieldRange_data();
    void fieldRange();
    void quoted_data();
    void quoted();
    void modelFromFirmwareInfo_data();
    void modelFromFirmwareInfo();
    void unopenedChannel_data();
    void unopenedChannel();
};

void SerialParsingTest::fieldRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("expected");

    QTest::newRow("single word in the middle")
        << "getUniverse  Universe is 12 714x:" << 3 << 3 << "12";
    QTest::newRow("leading blanks are not fields") << "   a b c" << 0 << 0 << "a";
    QTest::newRow("repeated blanks are one separator") << "a    b     c" << 1 << 2 << "b     c";
    QTest::newRow("trailing blanks are dropped") << "a b c   " << 2 << 2 << "c";
    QTest::newRow("65535 reaches to the end")
        << "x y 'My label' 714x:" << 2 << 65535 << "'My label' 714x:";
    QTest::newRow("first past the end is empty") << "a b" << 5 << 6 << "";
    QTest::newRow("empty text") << "" << 0 << 65535 << "";
    QTest::newRow("blank-only text") << "     " << 0 << 0 << "";
    QTest::newRow("line breaks are not separators") << "a\nb c" << 0 << 0 << "a\nb";
}

void SerialParsingTest::fieldRange()
{
    QFETCH(QString, text);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, expected);
    QCOMPARE(reply::fieldRange(text, first, last), expected);
}

void SerialParsingTest::quoted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("expected");

    const struct
    {
        const char *name, *text, *delimiter, *expected;
    } rows[] = {
        {"between two quotes", "Label: 'Stage left' 714x:", "'", "Stage left"},
        {"inner quotes are kept", "'it's mine' 714x:", "'", "it's mine"},
        {"one quote: everything after", "Label: 'cut off", "'", "cut off"},
        {"no quote: the whole text", "no label here", "'", "no label here"},
        {"adjacent quotes: empty", "Label: '' 714x:", "'", ""},
        {"empty text", "", "'", ""},
        {"quote at the very end", "abc'", "'", ""},
        {"multi-character delimiter", "x<<inside<<y", "<<", "inside"},
        {"overlapping multi-character delimiter", "a'''b", "''", ""},
        {"case-sensitive delimiter", "aXbxc", "x", "c"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QString(r.text) << QString(r.delimiter) << QString(r.expected);
}

void SerialParsingTest::quoted()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(QString, expected);
    QCOMPARE(reply::quoted(text, delimiter), expected);
}

void SerialParsingTest::modelFromFirmwareInfo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("model"); // empty: none found

    QTest::newRow("plain reply") << "getFWInfo Korvane Glimmerline Model: 7146 Software: 1.2\n714x:"
                                 << "7146";
    QTest::newRow("marker joined to a word") << "x FWModel: 7185 y"
                                             << "7185";
    QTest::newRow("CRLF separated") << "getFWInfo\r\nModel:\r\n7127\r\n712x:"
                                    << "7127";
    QTest::newRow("first marker decides") << "Model: 7126 Model: 7146"
                                          << "7126";
    QTest::newRow("word after the marker taken as it is") << "Model: 7147B rev"
                                                          << "7147B";
    QTest::newRow("marker is the last word") << "getFWInfo Model:"
                                             << "";
    QTest::newRow("marker followed by blanks only") << "getFWInfo Model:  \r\n "
                                                    << "";
    QTest::newRow("no marker") << "getFWInfo Unknown command\n:"
                               << "";
    QTest::newRow("lower-case marker") << "model: 7146"
                                       << "";
    QTest::newRow("empty reply") << ""
                                 << "";
}

void SerialParsingTest::modelFromFirmwareInfo()
{
    QFETCH(QString, text);
    QFETCH(QString, model);

    QString result = QStringLiteral("previous");
    QCOMPARE(reply::modelFromFirmwareInfo(text, result), !model.isEmpty());
    QCOMPARE(result, model.isEmpty() ? QStringLiteral("previous") : model);
}

void SerialParsingTest::unopenedChannel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::newRow("empty") << QString() << -3;
    QTest::newRow("the port page's placeholder") << "None" << -3;
    QTest::newRow("placeholder inside a path") << "/dev/NoneSuch" << -3;
    QTest::newRow("no such path") << "/nonexistent/vantelo/ttyNOPE" << -1;
}

// Every call on a channel whose open failed fails at once, leaves the caller's text alone and
// leaves the lock free.
void SerialParsingTest::unopenedChannel()
{
    QFETCH(QString, name);
    QFETCH(int, code);

    Serial serial;
    serial.setPortName(name);
    QCOMPARE(serial.open(), code);
    QVERIFY(!serial.isOpen());

    QString reply = QStringLiteral("untouched");
    QVERIFY(!serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QVERIFY(!serial.sendCommand(QStringLiteral("getUniverse\n"), reply, 0, 65535));
    QCOMPARE(reply, QStringLiteral("untouched"));
    QVERIFY(!serial.ping());
    QVERIFY(!serial.isResponding());
    QString model = QStringLiteral("7146");
    QVERIFY(!serial.identify(model));
    QCOMPARE(model, QStringLiteral("7146"));
    QVERIFY(serial.isLockFree());
    QVERIFY(!serial.close());
}

QTEST_GUILESS_MAIN(SerialParsingTest)
#include "tst_serial_parsing.moc"
