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

    void closedChannel_transactionsLeaveTheCallersTextAlone();
    void closedChannel_pingFailsAndIdentifyKeepsTheModel();
    void open_refusesUnusableNamesWithoutTouchingThePort_data();
    void open_refusesUnusableNamesWithoutTouchingThePort();
    void open_nonexistentPathFailsAndStaysClosed();
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

    QTest::newRow("between two quotes") << "Label: 'Stage left' 714x:"
                                        << "'"
                                        << "Stage left";
    QTest::newRow("inner quotes are kept") << "'it's mine' 714x:"
                                           << "'"
                                           << "it's mine";
    QTest::newRow("one quote: everything after") << "Label: 'cut off"
                                                 << "'"
                                                 << "cut off";
    QTest::newRow("no quote: the whole text") << "no label here"
                                              << "'"
                                              << "no label here";
    QTest::newRow("adjacent quotes: empty") << "Label: '' 714x:"
                                            << "'"
                                            << "";
    QTest::newRow("empty text") << ""
                                << "'"
                                << "";
    QTest::newRow("quote at the very end") << "abc'"
                                           << "'"
                                           << "";
    QTest::newRow("multi-character delimiter") << "x<<inside<<y"
                                               << "<<"
                                               << "inside";
    QTest::newRow("overlapping multi-character delimiter") << "a'''b"
                                                           << "''"
                                                           << "";
    QTest::newRow("case-sensitive delimiter") << "aXbxc"
                                              << "x"
                                              << "c";
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
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("model");

    QTest::newRow("plain reply") << "getFWInfo Korvane Glimmerline Model: 7146 Software: 1.2\n714x:"
                                 << true << "7146";
    QTest::newRow("marker joined to a word") << "x FWModel: 7185 y" << true << "7185";
    QTest::newRow("CRLF separated") << "getFWInfo\r\nModel:\r\n7127\r\n712x:" << true << "7127";
    QTest::newRow("first marker decides") << "Model: 7126 Model: 7146" << true << "7126";
    QTest::newRow("word after the marker taken as it is") << "Model: 7147B rev" << true << "7147B";
    QTest::newRow("marker is the last word") << "getFWInfo Model:" << false << "";
    QTest::newRow("marker followed by blanks only") << "getFWInfo Model:  \r\n " << false << "";
    QTest::newRow("no marker") << "getFWInfo Unknown command\n:" << false << "";
    QTest::newRow("lower-case marker") << "model: 7146" << false << "";
    QTest::newRow("empty reply") << "" << false << "";
}

void SerialParsingTest::modelFromFirmwareInfo()
{
    QFETCH(QString, text);
    QFETCH(bool, found);
    QFETCH(QString, model);

    QString result = QStringLiteral("previous");
    QCOMPARE(reply::modelFromFirmwareInfo(text, result), found);
    QCOMPARE(result, found ? model : QStringLiteral("previous"));
}

void SerialParsingTest::closedChannel_transactionsLeaveTheCallersTextAlone()
{
    Serial serial;
    QVERIFY(!serial.isOpen());
    QCOMPARE(serial.prompt(), QStringLiteral(":"));

    QString reply = QStringLiteral("untouched");
    QVERIFY(!serial.sendCommand(QStringLiteral("getUniverse\n"), reply));
    QCOMPARE(reply, QStringLiteral("untouched"));
    QVERIFY(!serial.sendCommand(QStringLiteral("getUniverse\n"), reply, 0, 65535));
    QCOMPARE(reply, QStringLiteral("untouched"));
    QVERIFY(serial.isLockFree());
    QVERIFY(!serial.close());
}

void SerialParsingTest::closedChannel_pingFailsAndIdentifyKeepsTheModel()
{
    Serial serial;
    QVERIFY(!serial.ping());
    QVERIFY(!serial.isResponding());
    QVERIFY(serial.isLockFree());

    QString model = QStringLiteral("7146");
    QVERIFY(!serial.identify(model));
    QCOMPARE(model, QStringLiteral("7146"));
}

void SerialParsingTest::open_refusesUnusableNamesWithoutTouchingThePort_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("the port page's placeholder") << "None";
    QTest::newRow("placeholder inside a path") << "/dev/NoneSuch";
}

void SerialParsingTest::open_refusesUnusableNamesWithoutTouchingThePort()
{
    QFETCH(QString, name);
    Serial serial;
    serial.setPortName(name);
    QCOMPARE(serial.open(), -3);
    QVERIFY(!serial.isOpen());
    QVERIFY(!serial.close());
}

void SerialParsingTest::open_nonexistentPathFailsAndStaysClosed()
{
    Serial serial;
    serial.setPortName(QStringLiteral("/nonexistent/vantelo/ttyNOPE"));
    QCOMPARE(serial.open(), -1);
    QVERIFY(!serial.isOpen());
    QString reply = QStringLiteral("untouched");
    QVERIFY(!serial.sendCommand(QStringLiteral("\n"), reply));
    QCOMPARE(reply, QStringLiteral("untouched"));
}

QTEST_GUILESS_MAIN(SerialParsingTest)
#include "tst_serial_parsing.moc"
