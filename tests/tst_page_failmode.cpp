#include "pages/FailModeTime.h"

#include <QtTest>

// The fail-time rules without a device: what the user sees for a device value, what a committed
// entry is worth, and how typed digits move through the entry template.
class TestFailModeTime : public QObject
{
    Q_OBJECT

private slots:
    void timeText_data();
    void timeText();
    void tenthsFromText_data();
    void tenthsFromText();
    void holdsNoEntry_data();
    void holdsNoEntry();
    void laidIntoTemplate_data();
    void laidIntoTemplate();
    void typingThenCommitting_data();
    void typingThenCommitting();
    void everyFiniteValueSurvivesTheRoundTrip();
};

void TestFailModeTime::timeText_data()
{
    QTest::addColumn<int>("tenths");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "0:00:00:0";
    QTest::newRow("one tenth") << 1 << "0:00:00:1";
    QTest::newRow("ninety seconds and a half") << 905 << "0:01:30:5";
    QTest::newRow("one minute") << 600 << "0:01:00:0";
    QTest::newRow("just under an hour") << 35999 << "0:59:59:9";
    QTest::newRow("one hour") << 36000 << "1:00:00:0";
    QTest::newRow("largest finite value") << 65534 << "1:49:13:4";
    QTest::newRow("infinite keeps the device-era spelling") << 65535 << "Infinte";
}

void TestFailModeTime::timeText()
{
    QFETCH(int, tenths);
    QFETCH(QString, text);
    QCOMPARE(failmode::timeText(tenths), text);
}

void TestFailModeTime::tenthsFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tenths");
    QTest::newRow("ninety seconds typed as seconds") << "0:00:90:5" << 905;
    QTest::newRow("displayed time") << "0:01:30:5" << 905;
    QTest::newRow("minutes and seconds past 59") << "0:99:99:9" << 60399;
    QTest::newRow("largest finite value") << "1:49:13:4" << 65534;
    QTest::newRow("exactly infinite") << "1:49:13:5" << 65535;
    QTest::newRow("two hours clamps to infinite") << "2:00:00:0" << 65535;
    QTest::newRow("nine hours clamps to infinite") << "9:99:99:9" << 65535;
    QTest::newRow("letters read as zero") << "0:0a:12:3" << 123;
    QTest::newRow("missing parts read as zero") << "0:01" << 600;
    QTest::newRow("empty text") << "" << 0;
    QTest::newRow("typed minus does not wrap round") << "0:00:-1:0" << 0;
    QTest::newRow("huge hour part does not overflow") << "2147483647:00:00:0" << 65535;
}

void TestFailModeTime::tenthsFromText()
{
    QFETCH(QString, text);
    QFETCH(int, tenths);
    QCOMPARE(failmode::tenthsFromText(text), tenths);
}

void TestFailModeTime::holdsNoEntry_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("noEntry");
    QTest::newRow("untouched template") << " :  :  : " << true;
    QTest::newRow("initial form text") << "Infinite" << true;
    QTest::newRow("infinite read from the device") << "Infinte" << true;
    QTest::newRow("one digit typed") << " :  :  :1" << false;
    QTest::newRow("displayed time") << "0:01:30:5" << false;
}

void TestFailModeTime::holdsNoEntry()
{
    QFETCH(QString, text);
    QFETCH(bool, noEntry);
    QCOMPARE(failmode::holdsNoEntry(text), noEntry);
}

void TestFailModeTime::laidIntoTemplate_data()
{
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QString>("laid");
    QTest::newRow("first digit typed into the template") << " :  :  : 1"
                                                         << " :  :  :1";
    QTest::newRow("second digit pushes the first left") << " :  :  :12"
                                                        << " :  : 1:2";
    QTest::newRow("third digit") << " :  : 1:23"
                                 << " :  :12:3";
    QTest::newRow("six digits fill every position") << "1:23:45:67"
                                                    << "2:34:56:7";
    QTest::newRow("seventh digit drops the oldest") << "2:34:56:78"
                                                    << "3:45:67:8";
    QTest::newRow("deleting the last shifts right") << " :  :12:"
                                                    << " :  : 1:2";
    QTest::newRow("deleting everything") << " :  :  :"
                                         << " :  :  : ";
    QTest::newRow("non-digits count as entered") << " :  :  :a"
                                                 << " :  :  :a";
    QTest::newRow("pasted plain digits") << "905"
                                         << " :  :90:5";
    QTest::newRow("typing over a displayed time") << "0:01:30:59"
                                                  << "0:13:05:9";
}

void TestFailModeTime::laidIntoTemplate()
{
    QFETCH(QString, edited);
    QFETCH(QString, laid);
    const QString result = failmode::laidIntoTemplate(edited);
    QCOMPARE(result, laid);
    QCOMPARE(result.size(), failmode::entryTemplate().size());
}

// Keys typed one at a time into the template, then the commit's reading of the result.
void TestFailModeTime::typingThenCommitting_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("committedText");
    QTest::addColumn<int>("tenths");
    QTest::newRow("9 0 5") << "905"
                           << "0:00:90:5" << 905;
    QTest::newRow("1 2 3") << "123"
                           << "0:00:12:3" << 123;
    QTest::newRow("1 2") << "12"
                         << "0:00:01:2" << 12;
    QTest::newRow("2 0 0 0 0 0 is infinite") << "200000"
                                             << "2:00:00:0" << 65535;
    QTest::newRow("seven digits keep the last six") << "9123456"
                                                    << "1:23:45:6" << 50256;
}

void TestFailModeTime::typingThenCommitting()
{
    QFETCH(QString, keys);
    QFETCH(QString, committedText);
    QFETCH(int, tenths);
    QString field = failmode::entryTemplate();
    for (const QChar key : keys)
        field = failmode::laidIntoTemplate(field + key);
    QVERIFY(!failmode::holdsNoEntry(field));
    const QString filled = failmode::zeroFilled(field);
    QCOMPARE(filled, committedText);
    QCOMPARE(failmode::tenthsFromText(filled), tenths);
}

void TestFailModeTime::everyFiniteValueSurvivesTheRoundTrip()
{
    for (int tenths = 0; tenths < failmode::infiniteTenths; ++tenths) {
        const QString text = failmode::timeText(tenths);
        if (failmode::tenthsFromText(text) != tenths)
            QFAIL(qPrintable(
                QStringLiteral("%1 shown as %2 reads back differently").arg(tenths).arg(text)));
    }
}

QTEST_APPLESS_MAIN(TestFailModeTime)
#include "tst_page_failmode.moc"
