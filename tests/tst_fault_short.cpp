// Every read of a page answered, but with fewer words than the position the page reads: each
// page must land on its own rule for a missing word (empty text, first entry, unchecked, zero
// time), not keep the previous value or crash, and the channel must stay open.

#include "support/FaultRig.h"

#include "link/Serial.h"

#include <QGroupBox>
#include <QTest>

#include <memory>

namespace {

// What each page shows after a refresh whose every reply is too short, in the page snapshot's
// notation (FaultRig::pageSnapshot).
QStringList shortReplyOutcome(const QString &pageClass, int channels)
{
    if (pageClass.startsWith(QLatin1String("InfoWidget"))) {
        return {"lc_modelDesc=Unknown",
                "lc_software=, ",
                "lc_bootSoftware=, ",
                "lc_rdmUid=",
                "le_deviceLabel=",
                "le_DMXFailModeDelay=0:00:00:0",
                "le_DMXFailModeHold=0:00:00:0",
                "le_level="};
    }
    if (pageClass.startsWith(QLatin1String("DmxWidget"))) {
        QStringList outcome = {"c_RDMTrafficEnable[ ]RDM Traffic Disabled",
                               "le_DMXPortLabel=", "le_Universe=", "le_DMXAddress="};
        if (pageClass == QLatin1String("DmxWidget"))
            outcome << "cb_DMXPersonality#0";
        return outcome;
    }
    if (pageClass == QLatin1String("DimmerWidget")) {
        QStringList outcome = {"cb_bump#0"};
        for (int c = 0; c < channels; ++c) {
            outcome << QStringLiteral("label/%1=").arg(c) << QStringLiteral("curve/%1#0").arg(c)
                    << QStringLiteral("resp/%1#0").arg(c) << QStringLiteral("freq/%1#0").arg(c)
                    << QStringLiteral("offset/%1=").arg(c);
        }
        return outcome;
    }
    if (pageClass == QLatin1String("FarcastWidget")) {
        return {"cb_dmxInputMode#0", "le_vexaId=", "cb_antSelect#0", "cb_outputPower#0",
                "le_vexaKey="};
    }
    if (pageClass == QLatin1String("AdvancedWidget"))
        return {"c_PwmOutput[ ]PWM Output Disabled", "c_ZeroTenOutput[ ]0-10V Output Disabled"};
    return {};
}

int channelCount(const QString &model)
{
    return model.contains(QLatin1String("714")) ? 5 : model.contains(QLatin1String("712")) ? 2 : 0;
}

} // namespace

class TestFaultShort : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void shortReplies_eachPageFallsBackAsItShould_data();
    void shortReplies_eachPageFallsBackAsItShould();

private:
    std::unique_ptr<FaultRig> m_rig;
};

void TestFaultShort::cleanupTestCase()
{
    m_rig.reset();
}

void TestFaultShort::shortReplies_eachPageFallsBackAsItShould_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("page");
    // The reply before the prompt, which is a word too; the lowest position any page reads is 4,
    // and 6 for the commands that name a channel or label.
    QTest::addColumn<QByteArray>("words");

    for (const FaultFamily &family : faultFamilies()) {
        for (int page = 0; page < family.pageClasses.size(); ++page) {
            const QByteArray name =
                (family.name + QLatin1Char(' ') + family.pageClasses.at(page)).toUtf8();
            QTest::addRow("%s, echo only", name.constData())
                << family.model << page << QByteArray("{echo}");
            QTest::addRow("%s, a value line too short", name.constData())
                << family.model << page << QByteArray("{echo}\r\nValue: 1");
        }
    }
}

void TestFaultShort::shortReplies_eachPageFallsBackAsItShould()
{
    QFETCH(QString, model);
    QFETCH(int, page);
    QFETCH(QByteArray, words);

    FaultRig *r = connectedRig(m_rig, model);
    QVERIFY2(r, "no connection to the simulated device");
    MainWindow *window = r->window();
    const QString pageClass = r->family.pageClasses.at(page);
    const QStringList outcome = shortReplyOutcome(pageClass, channelCount(model));
    QVERIFY(!outcome.isEmpty());

    // Settings that show nowhere as a fallback value, so a page that keeps them is caught.
    r->server().modifyState([](sim::DeviceState &s) { applyFaultSettings(s, true); });
    r->showPage(page);
    const QStringList before = r->pageSnapshot(page);
    for (const QString &entry : outcome)
        QVERIFY2(!before.contains(entry), qPrintable(entry + " shown before the fault"));
    if (pageClass == QLatin1String("AdvancedWidget"))
        QVERIFY(!r->pageWidget<QGroupBox>(0, "gb_DMXAddress")->isHidden());

    const QByteArray prompt = model.left(3).toLatin1() + "x:";
    r->server().setReplyOverride([words, prompt](const QByteArray &line) {
        std::optional<QByteArray> reply;
        if (line.startsWith("get"))
            reply = QByteArray(words).replace("{echo}", line) + "\r\n" + prompt;
        return reply;
    });
    const int messages = r->catcher.count();
    const int logBefore = r->server().commandLog().size();
    r->stall.reset();
    r->showPage(page);
    r->server().clearFaults();

    QVERIFY(r->server().commandLog().size() > logBefore);
    const QStringList after = r->pageSnapshot(page);
    for (const QString &entry : outcome)
        QVERIFY2(after.contains(entry), qPrintable(entry + " missing from " + after.join(" | ")));
    // The output switches both read as off: the DMX page hides its address field.
    if (pageClass == QLatin1String("AdvancedWidget"))
        QVERIFY(r->pageWidget<QGroupBox>(0, "gb_DMXAddress")->isHidden());
    QVERIFY(window->channel()->isOpen());
    QVERIFY(window->channel()->isLockFree());
    QCOMPARE(r->catcher.count(), messages);
    QVERIFY2(r->stall.longestStallMs() < 1000,
             qPrintable(QStringLiteral("%1 ms").arg(r->stall.longestStallMs())));
}

QTEST_MAIN(TestFaultShort)
#include "tst_fault_short.moc"
