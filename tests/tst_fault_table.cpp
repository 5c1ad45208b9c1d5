// The whole program against a unit that goes wrong under it, fault by family and page. Each fault
// has one of three outcomes:
// - the loss: one "Serial port disconnected", the port page, a closed and free channel and the
//   unconnected picture when the box comes up, the old pages gone, the window never stalled;
// - the same values as on a clean line, where the unit still answers;
// - the page's own fallback, where every reply is too short.

#include "support/Rig.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QtTest>

#include <atomic>

namespace {

const char *const models[] = {"7146", "7126", "7185"};

// Seeded state n; seed 1 with labels beyond ASCII, which odd-sized pieces on the line cut apart,
// and the outputs on, as what a page falls back to is off.
void seed(sim::PtyServer &server, int n)
{
    server.setSeed(n);
    server.modifyState([n](sim::DeviceState &s) {
        s.rootLabel = n == 1 ? "Bühne Nord ✓" : s.rootLabel;
        for (sim::ChannelState &channel : s.channels)
            channel.label += n == 1 ? " é" : "";
        s.pwmOutput = s.zeroTenOutput = n == 1;
    });
}

// What a page shows when every reply is too short.
QStringList fallbackOf(const QString &pageClass, const QString &model)
{
    const bool receiver = catalogue::find(model)->family == Family::Receiver;
    const QString dmx = "c_RDMTrafficEnable[ ]RDM Traffic Disabled|le_DMXPortLabel=|le_Universe=|"
                        "le_DMXAddress=";
    QString out =
        pageClass.startsWith("InfoWidget")
            ? "lc_modelDesc=Unknown|lc_software=, |lc_bootSoftware=, |lc_rdmUid=|le_deviceLabel=|"
              "le_DMXFailModeDelay=0:00:00:0|le_DMXFailModeHold=0:00:00:0|le_level="
        : pageClass == "DmxWidget"  ? dmx + "|cb_DMXPersonality#0"
        : pageClass == "DmxWidget2" ? dmx
        : pageClass == "FarcastWidget"
            ? QString("cb_dmxInputMode#0") + (receiver ? "~" : "") +
                  "|le_vexaId=|cb_antSelect#0|cb_outputPower#0|le_vexaKey="
        : pageClass == "AdvancedWidget"
            ? "c_PwmOutput[ ]PWM Output Disabled|c_ZeroTenOutput[ ]0-10V Output Disabled"
            : "cb_bump#0";
    for (int c = 0; pageClass == "DimmerWidget" && c < getModelChannels(model); ++c)
        out += QString("|label/%1=|curve/%1#0|resp/%1#0|freq/%1#0|offset/%1=").arg(c);
    return out.split('|');
}

} // namespace

class TestFaultTable : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { m_rig.reset(); }

    void unplug_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("page");
        // The first, a middle or the last exchange of the page's refresh.
        QTest::addColumn<int>("at");
        for (const char *model : models) {
            for (int page = 0; page < 4; ++page) {
                for (int at = 0; at < 3; ++at)
                    QTest::addRow("%s page %d at %d", model, page, at) << model << page << at;
            }
        }
    }

    void unplug()
    {
        QFETCH(QString, model);
        QFETCH(int, page);
        QFETCH(int, at);
        AppRig *r = rig(model);
        QVERIFY2(r, "no connection to the simulated unit");
        // The refresh's length from a clean read now; polls between dimmer channels are not part.
        int before = r->server.commandLog().size();
        r->showPage(page);
        const int n = r->server.commandLog().mid(before).filter(QRegularExpression(".")).size();
        const int k = at == 0 ? 1 : at == 1 ? (n + 1) / 2 : n;

        QList<QPointer<QObject>> old;
        for (QObject *p : r->window->devicePages())
            old << p;
        const int disconnects = r->catcher.count("Serial port disconnected");
        const int losses = r->losses.size();
        before = r->server.commandLog().size();
        r->resetStall();
        // The dimmer editor lets events run after each channel: a poll queued now runs inside its
        // refresh, before the unit is gone for small k and after it for the others.
        if (r->window->devicePages().at(page)->inherits("DimmerWidget"))
            r->pollSoon();
        r->server.setUnplugAfterCommands(k);
        r->showPage(page);
        if (!r->isOnPortPage())
            r->pollSoon();

        const QString wrong = r->waitForLoss(losses);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QCOMPARE(r->catcher.count("Serial port disconnected"), disconnects + 1);
        // The k-th exchange was the last one the unit saw.
        QCOMPARE(r->server.commandLog().size(), before + k);
        QVERIFY(!r->window->backgroundRefreshTimer()->isActive());
        for (const QPointer<QObject> &p : old)
            QTRY_VERIFY(p.isNull());
        QCOMPARE(r->window->pendingDeletions(), 0);
        QVERIFY2(r->longestStallMs() < 1500, qPrintable(QString::number(r->longestStallMs())));
        // Plugged in again, the unit is found anew; the loss stays reported once.
        QVERIFY(r->reconnect());
        QCOMPARE(r->catcher.count("Serial port disconnected"), disconnects + 1);
    }

    void answering_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("page"); // -1: every page
        for (const char *model : models) {
            // A slow unit is read on its first page only, to keep the row short.
            QTest::addRow("%s slow", model) << model << "slow" << 0;
            for (const char *fault : {"pieces16", "pieces5", "trailing", "noise"})
                QTest::addRow("%s %s", model, fault) << model << fault << -1;
            for (int page = 0; page < 4; ++page)
                QTest::addRow("%s short, page %d", model, page) << model << "short" << page;
        }
    }

    // The unit still answers: the same values as on a clean line, or, where every reply is too
    // short, the page's own fallback; the channel open and no message.
    void answering()
    {
        QFETCH(QString, model);
        QFETCH(QString, fault);
        QFETCH(int, page);
        AppRig *r = rig(model);
        QVERIFY2(r, "no connection to the simulated unit");
        const auto readPages = [&](int n) {
            seed(r->server, n);
            QStringList shown;
            // Last page first: the receiver card's DMX page follows the output options page.
            for (int i = page < 0 ? 3 : page; i >= qMax(page, 0); --i) {
                r->showPage(i);
                shown << pageSnapshot(r->window->devicePages().at(i));
                // Back to the event loop between pages, as between a user's clicks.
                QCoreApplication::processEvents();
            }
            return shown;
        };
        const QStringList clean = readPages(1);
        QVERIFY(readPages(2) != clean);
        QWidget *first = r->window->devicePages().at(qMax(page, 0));
        const QStringList expected =
            fault == "short" ? fallbackOf(first->metaObject()->className(), model) : clean;
        // A fallback shown on the clean line as a value of its own would go unnoticed.
        for (const QString &entry : fault == "short" ? expected : QStringList())
            QVERIFY2(!clean.contains(entry), qPrintable(entry));
        const int messages = r->catcher.messages.size();
        // Pieces are written one by one but without a pause between them: a pause that a loaded
        // machine stretches past 100 ms ends the reply there, as the channel's rule says it must.
        // Short: every read answered with its echo and a value line that ends before the lowest
        // word a page reads.
        const QByteArray prompt = getModelPrefix(model).toLatin1();
        fault == "slow"       ? r->server.setLatencyMs(300)
        : fault == "pieces16" ? r->server.setChunking(16, 0)
        : fault == "pieces5"  ? r->server.setChunking(5, 0)
        : fault == "trailing" ? r->server.setTrailingBytes("\r\n!!")
        : fault == "noise"
            ? r->server.setGarbage(QByteArray("\r\xff\xfe\xc0\x00", 5))
            : r->server.setReplyOverride([prompt](const QByteArray &line) {
                  return line.startsWith("get")
                             ? std::optional<QByteArray>(line + "\r\nValue: 1\r\n" + prompt)
                             : std::nullopt;
              });
        r->resetStall();
        const QStringList faulty = readPages(1);
        const qint64 stall = r->longestStallMs();
        r->server.clearFaults();
        for (const QString &entry : expected)
            QVERIFY2(faulty.contains(entry), qPrintable(entry + " not in " + faulty.join(" | ")));
        QVERIFY(fault == "short" || faulty.size() == expected.size());
        QVERIFY(r->window->channel()->isOpen() && r->window->channel()->isLockFree());
        QCOMPARE(r->catcher.messages.size(), messages);
        // A page's reads run back to back on the GUI thread; the loop is back after the last one.
        QVERIFY2(stall < (page < 0          ? 4000
                          : fault == "slow" ? 2750
                                            : 1000),
                 qPrintable(QString::number(stall)));
    }

    void lost_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("fault");
        for (int i = 0; i < 3; ++i) {
            QTest::addRow("%s silent", models[i]) << models[i] << "silent";
            const char *flood = i == 0 ? "trickle" : i == 1 ? "stream" : "huge";
            QTest::addRow("%s %s", models[i], flood) << models[i] << flood;
        }
    }

    void lost()
    {
        QFETCH(QString, model);
        QFETCH(QString, fault);
        AppRig *r = rig(model);
        QVERIFY2(r, "no connection to the simulated unit");
        const int before = r->catcher.messages.size();
        const int losses = r->losses.size();
        // A flood comes on the first universe read; the unit answers normally afterwards.
        const QByteArray line = "Universe: 1 level 255 data data data\r\n";
        const QByteArray answer = fault == "trickle" ? line.repeated(80)
                                  : fault == "stream"
                                      ? line.repeated(8000)
                                      : line.repeated(27000) + getModelPrefix(model).toLatin1();
        auto flooded = std::make_shared<std::atomic<bool>>(fault == "silent");
        r->server.setReplyOverride([flooded, answer](const QByteArray &line) {
            return line == "getUniverse" && !flooded->exchange(true)
                       ? std::optional<QByteArray>(answer)
                       : std::nullopt;
        });
        r->server.setSilent(fault == "silent");
        // 16 bytes every 20 ms: never silent for 100 ms, never a prompt.
        r->server.setChunking(fault == "trickle" ? 16 : 0, 20);
        r->resetStall();
        QElapsedTimer took;
        took.start();
        r->showPage(fault == "silent" ? 3 : 0);
        const qint64 refreshMs = took.elapsed();
        QVERIFY(!r->window->channel()->isOpen());

        const QString wrong = r->waitForLoss(losses, 3000);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QCOMPARE(r->losses.size(), losses + 1);
        // The port page's auto-connect then finds a unit that does not identify itself, or one that
        // answers again after its flood.
        for (const ModalCatcher::Message &message : r->catcher.messages.mid(before)) {
            QVERIFY2(message.text == "Serial port disconnected" ||
                         message.title == "Device Found" ||
                         message.text.endsWith(" does not have a valid device attached"),
                     qPrintable(message.text));
        }
        QTRY_COMPARE(r->window->pendingDeletions(), 0);
        // One unanswered exchange, about a second, or the channel's budget of two seconds for one
        // that never ends, is the longest the window waits. A loaded machine may pause a trickle
        // for 100 ms and so cut it into pieces the channel takes as answers: the last still meets
        // the budget, but later.
        const qint64 bound = fault == "silent" ? 1800 : 4000;
        QVERIFY2(refreshMs < bound && r->longestStallMs() < bound,
                 qPrintable(QString("%1 ms, stall %2 ms").arg(refreshMs).arg(r->longestStallMs())));
        // A fresh unit behind the same port cuts what is left of a flood short.
        r->server.clearFaults();
        r->server.unplug();
        QVERIFY(r->reconnect());
    }

    void unplugWhileAboutIsOpen()
    {
        AppRig *r = rig("7146");
        QVERIFY2(r, "no connection to the simulated unit");
        const int losses = r->losses.size();
        bool aboutWasUp = false;
        // Runs inside the About box's own loop: the unit goes while it is up, the poll keeps
        // running there, and the box is closed only once the loss has been handled.
        QTimer::singleShot(0, r->window.get(), [&] {
            QPointer<QDialog> about = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            aboutWasUp = !about.isNull();
            r->server.unplug();
            aboutWasUp =
                aboutWasUp && QTest::qWaitFor([&] { return r->losses.size() > losses; }, 4000);
            if (about)
                about->reject();
        });
        r->resetStall();
        r->window->findChild<QAction *>("actionAbout")->trigger();
        QVERIFY(aboutWasUp);
        QCOMPARE(r->losses.mid(losses), QStringList{""});
        QVERIFY(r->isOnPortPage());
        QVERIFY(r->longestStallMs() < 1500);
        QVERIFY(r->reconnect());
    }

private:
    // The held window if it is for this model and (again) connected, else a new connected one.
    // One window at a time, kept from row to row: connecting costs a window, and every window's
    // rig answers whatever message box is up.
    AppRig *rig(const QString &model)
    {
        if (m_rig && m_rig->model == model && (m_rig->isConnected() || m_rig->reconnect()))
            return m_rig.get();
        m_rig.reset();
        m_rig = std::make_unique<AppRig>(model);
        if (!m_rig->start())
            qWarning("%s", qPrintable(m_rig->error));
        return m_rig->isConnected() ? m_rig.get() : nullptr;
    }
    std::unique_ptr<AppRig> m_rig;
};

QTEST_MAIN(TestFaultTable)
#include "tst_fault_table.moc"
