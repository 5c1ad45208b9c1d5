#include "link/FailTime.h"

#include <QtTest>

// The fail-time rules without a device. Typed entries, clamping and the untouched template are
// covered through the information page; these are the texts a keyboard alone does not produce.
class TestFailModeTime : public QObject
{
    Q_OBJECT

private slots:
    void tenthsFromText_data();
    void tenthsFromText();
    void holdsNoEntry_data();
    void holdsNoEntry();
    void laidIntoTemplate_data();
    void laidIntoTemplate();
    void timeText_readsBackAsTheSameValue();
};

void TestFailModeTime::tenthsFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tenths");
    QTest::newRow("letters read as zero") << "0:0a:12:3" << 123;
    QTest::newRow("missing parts read as zero") << "0:01" << 600;
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
    QTest::newRow("initial form text") << "Infinite" << true;
    QTest::newRow("one digit typed") << " :  :  :1" << false;
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
    QCOMPARE(failmode::laidIntoTemplate(edited), laid);
}

void TestFailModeTime::timeText_readsBackAsTheSameValue()
{
    QCOMPARE(failmode::timeText(905), "0:01:30:5");
    QCOMPARE(failmode::timeText(36000), "1:00:00:0");
    QCOMPARE(failmode::timeText(65534), "1:49:13:4");
    // The spelling the page has always shown.
    QCOMPARE(failmode::timeText(65535), "Infinte");
    for (int tenths = 0; tenths < failmode::infiniteTenths; ++tenths) {
        const QString text = failmode::timeText(tenths);
        if (failmode::tenthsFromText(text) != tenths)
            QFAIL(qPrintable(text + QStringLiteral(" reads back as another value")));
    }
}

QTEST_APPLESS_MAIN(TestFailModeTime)
#include "tst_page_failmode.moc"
