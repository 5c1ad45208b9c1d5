// The program around the pages: the main window against a simulated unit, the shell's rules with
// scripted pages whose refresh lets events run, the port page, and the command line.

#include "app/CommandLine.h"
#include "app/LoadSettingsDialog.h"
#include "app/RigRecordWindow.h"
#include "app/SerialPortWidget.h"
#include "app/SettingsFiles.h"
#include "app/StationWindow.h"
#include "link/PortSource.h"
#include "patch/Plan.h"
#include "support/HeldRecord.h"
#include "support/Rig.h"
#include "ui/About.h"
#include "ui/Manual.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {

// A page for the shell's own rules: its refresh reads four times and after each read reports
// progress, runs a hook and lets events run for a while, as the dimmer channel editor does.
struct ScriptPage : BaseWidget
{
    using Hook = std::function<void(ScriptPage *page, int step)>;
    ScriptPage(int pauseMs, Hook hook) : pauseMs(pauseMs), hook(hook) { ++live; }
    ~ScriptPage() override
    {
        destroyedWhileRefreshing += depth > 0;
        --live;
    }
    void refresh() override
    {
        ++refreshes;
        maxDepth = qMax(maxDepth, ++depth);
        for (int step = 0; step < 4; ++step) {
            QString reply;
            if (serial)
                serial->sendCommand("getUniverse\n", reply);
            emit iconUpdateSignal();
            if (hook)
                hook(this, step);
            QTest::qWait(pauseMs);
        }
        --depth;
    }

    int pauseMs, refreshes = 0, depth = 0, maxDepth = 0;
    Hook hook;
    // Pages destroyed under their own refresh, and pages alive, over the whole process.
    static int destroyedWhileRefreshing, live;
};
int ScriptPage::destroyedWhileRefreshing = 0;
int ScriptPage::live = 0;

// The window with four script pages for every model, once it has announced the unit. The rig
// is in place before the first refresh, which may run before this returns.
bool scriptRig(std::unique_ptr<AppRig> &rig, int pauseMs, ScriptPage::Hook hook)
{
    QVector<PageFamily> families;
    for (Family each : catalogue::families()) {
        families.append({each, {}, {}});
        for (const char *button : {"T0", "T1", "T2", "T3"}) {
            families.last().positions.append(
                {[=](const ModelInfo &, QWidget *) { return new ScriptPage(pauseMs, hook); },
                 button,
                 {},
                 {}});
        }
    }
    rig = std::make_unique<AppRig>("7146", families);
    return rig->start(false) && rig->catcher.waitForCount(1);
}

// The engine reports a bare site address with its root path; both name the same page.
QUrl rooted(QUrl url)
{
    if (url.path().isEmpty())
        url.setPath("/");
    return url;
}

// The port page alone, with a simulated 7146 and the system's ports given as "name:product"
// (0: no USB identifiers, as a built-in port; 9: another vendor's).
struct PortPage
{
    explicit PortPage(const QString &ports)
    {
        unit.start();
        for (QString entry : ports.split(' ', Qt::SkipEmptyParts)) {
            PortInfo port;
            port.portName =
                entry.section(':', 0, 0) == "unit" ? unit.portPath() : entry.section(':', 0, 0);
            port.productIdentifier = entry.section(':', 1).toUShort();
            port.hasVendorIdentifier = port.hasProductIdentifier = port.productIdentifier != 0;
            port.vendorIdentifier = port.productIdentifier == 9 ? 0x0403 : 1155;
            system << port;
        }
        PortSource::setLister([this] { return system; });
        SerialPortWidget::resetShownPorts();
        page->setSerial(&serial);
    }
    ~PortPage()
    {
        delete page;
        PortSource::setLister({});
    }
    QString entries() const
    {
        QStringList names;
        for (int i = 0; i < combo->count(); ++i)
            names << combo->itemText(i);
        return names.join(' ').replace(unit.portPath(), "unit");
    }
    void click(const char *button) { page->findChild<QPushButton *>(button)->click(); }

    sim::PtyServer unit{"7146"};
    QList<PortInfo> system;
    Serial serial;
    SerialPortWidget *page = new SerialPortWidget;
    QComboBox *combo = page->findChild<QComboBox *>("cb_Serialports");
    ModalCatcher catcher;
    // The models announced, "disconnected" and "" for Cancel.
    QStringList announced;
    const QList<QMetaObject::Connection> listening = {
        QObject::connect(page, &SerialPortWidget::unitConnected,
                         [this](const session::Result &unit) { announced << unit.model; }),
        QObject::connect(page, &SerialPortWidget::disconnected,
                         [this] { announced << "disconnected"; }),
        QObject::connect(page, &SerialPortWidget::cancelled, [this] { announced << ""; })};
};

} // namespace

class TestAppWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(ScriptPage::destroyedWhileRefreshing, 0); }

    void startup_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("pages");
        QTest::addColumn<QStringList>("firstReads"); // in this order after the first poll
        QTest::newRow("5-channel dimmer")
            << "7146"
            << "DmxWidget DimmerWidget FarcastWidget InfoWidget" << QStringList{"getUniverse"};
        QTest::newRow("receiver card reads its outputs before the DMX page")
            << "7186"
            << "DmxWidget2 FarcastWidget InfoWidget2 AdvancedWidget"
            << QStringList{"getPwmConfig", "getUniverse"};
    }

    void startup()
    {
        QFETCH(QString, model);
        QFETCH(QString, pages);
        QFETCH(QStringList, firstReads);
        AppRig rig(model);
        QVERIFY2(rig.start(), qPrintable(rig.error));
        MainWindow *window = rig.window.get();
        QCOMPARE(rig.catcher.messages.first().text,
                 "Model " + model + " - " + getModelName(model) + " Found");
        QCOMPARE(window->channel()->prompt(), getModelPrefix(model));
        QStringList classes;
        for (QWidget *page : window->devicePages())
            classes << page->metaObject()->className();
        QCOMPARE(classes.join(' '), pages);
        QCOMPARE(window->pageStack()->currentWidget(), window->devicePages().first());
        // No field starts out focused: it would be skipped by every read, and leaving it would
        // write whatever it shows to the unit.
        QCOMPARE(window->focusWidget(), window->navigationButtons().first());
        const QStringList log = rig.server.commandLog();
        int at = log.indexOf("", 1);
        for (const QString &read : firstReads) {
            QVERIFY2(log.indexOf(read, at) > at, qPrintable(read));
            at = log.indexOf(read, at);
        }
        // The model's guide is in the viewer; closed and asked for again, it shows the home page.
        QWebEnginePage *guide = window->guideViewer()->webView()->page();
        QCOMPARE(rooted(guide->requestedUrl()), rooted(getModelUrl(model)));
        window->guideViewer()->close();
        window->findChild<QAction *>("actionQuick_Start_Guide")->trigger();
        QVERIFY(window->guideViewer()->isVisible());
        QCOMPARE(rooted(guide->requestedUrl()), rooted(makerHomePage()));
    }

    void replug_autoConnectsAgain()
    {
        AppRig rig("7146");
        QVERIFY2(rig.start(), qPrintable(rig.error));
        rig.server.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.catcher.count("Serial port disconnected"), 1, 4000);
        // Back before the one poll that follows the message: its auto-connect finds it.
        QVERIFY(rig.server.replug());
        QTRY_COMPARE_WITH_TIMEOUT(rig.catcher.count("Device Found"), 2, 4000);
        QTRY_VERIFY(rig.isConnected());
        QCOMPARE(rig.catcher.count("Serial port disconnected"), 1);
    }

    void duringRefresh_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("inWindow"); // the page, after the first and the last read
        QTest::addColumn<int>("messages");
        QTest::newRow("unit unplugged: the poll inside reports it") << "unplug"
                                                                    << "in out" << 2;
        QTest::newRow("Serial Ports chosen") << "actionSerial_Ports"
                                             << "out out" << 2;
        QTest::newRow("Disconnect on the port page") << "disconnect"
                                                     << "out out" << 1;
        QTest::newRow("its own button clicked, then another's") << "click"
                                                                << "in in" << 1;
    }

    // Whatever runs among the events the refresh of the first page lets through after its first
    // read: the page goes from the window at once, but is deleted only once its refresh has
    // ended; a click on a page being refreshed does not start its refresh again.
    void duringRefresh()
    {
        QFETCH(QString, what);
        QFETCH(QString, inWindow);
        QFETCH(int, messages);
        QStringList seen;
        std::unique_ptr<AppRig> rig;
        QPointer<ScriptPage> first;
        ScriptPage *second = nullptr;
        bool acted = false;
        QVERIFY(scriptRig(rig, what == "unplug" ? 600 : 0, [&](ScriptPage *page, int step) {
            if (!acted && page->objectName().endsWith("-0")) {
                acted = true;
                first = page;
                second = static_cast<ScriptPage *>(rig->window->devicePages().value(1));
                if (what == "unplug")
                    rig->server.unplug();
                else if (what == "disconnect")
                    emit rig->window->portPage()->disconnected();
                else if (what == "click")
                    rig->showPage(0), rig->showPage(1);
                else
                    rig->window->findChild<QAction *>(what)->trigger();
            }
            if (page == first && page->refreshes == 1 && (step == 0 || step == 3))
                seen << (rig->window->devicePages().contains(page) ? "in" : "out");
        }));
        QTRY_COMPARE_WITH_TIMEOUT(seen.join(' '), inWindow, 8000);
        QTRY_COMPARE(rig->catcher.messages.size(), messages);
        if (what == "click") {
            QCOMPARE(first->maxDepth + first->refreshes + second->refreshes, 3);
            QCOMPARE(rig->window->pageStack()->currentWidget(), second);
            return;
        }
        QTRY_VERIFY(first.isNull());
        QTRY_COMPARE(ScriptPage::live, rig->window->devicePages().size());
    }

    // Connect with our unit's port second and chosen (a failed identification puts the first entry
    // back), or by auto-connect with it alone.
    // The port page lists the supported ports in the system's order, every port when asked
    // (a click rebuilds the list at once), and connects to the one chosen: our unit second (a
    // failed identification puts the first entry back), or by auto-connect.
    void portConnect_data()
    {
        QTest::addColumn<QString>("ports");
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("said"); // the model announced, or the message and its title
        const auto row = [](const char *tag, const char *fault, const char *said,
                            const char *ports = "ttyACM9:7126 unit:7146",
                            const char *entries = "ttyACM9 unit") {
            QTest::newRow(tag) << ports << entries << fault << said;
        };
        row("found, then found again", "", "7146", "ttyS0:0 ttyACM9:7126 ttyUSB0:9 unit:7146");
        row("auto-connect", "auto", "7146", "unit:7146", "unit");
        row("all ports shown: auto-connect waits", "all", "", "ttyS0:0 unit:7146", "ttyS0 unit");
        row("port named None", "None", "None is not a valid serial port|Serial Port Error",
            "ttyACM9:7126 None:7146", "ttyACM9 None");
        row("held by another channel", "busy", "unit is busy|Serial Port Error");
        row("answer without a model", "getFWInfo\r\nFirmware 2.4 Boot 1.1\r\n714x:",
            "unit does not have a valid device attached|Invalid Serial Port");
        row("model outside the catalogue", "getFWInfo\r\nKorvane Model: 9999\r\n714x:",
            "unit does not have a valid device attached|Invalid Serial Port");
    }

    void portConnect()
    {
        QFETCH(QString, ports);
        QFETCH(QString, entries);
        QFETCH(QString, fault);
        QFETCH(QString, said);
        const bool automatic = fault == "auto" || fault == "all";
        PortPage p(ports);
        const QString port = fault == "None" ? fault : p.unit.portPath();
        Serial other;
        other.setPortName(port);
        if (fault == "busy")
            QCOMPARE(other.open(), Serial::OpenResult::Opened);
        if (fault.startsWith("getFWInfo"))
            p.unit.setReplyOverride([fault](const QByteArray &) { return fault.toUtf8(); });
        auto *showAll = p.page->findChild<QCheckBox *>("cb_showAllPorts");
        fault == "all" ? showAll->click() : p.page->refreshPortList();
        QCOMPARE(p.entries(), entries);
        p.combo->setCurrentIndex(automatic ? 0 : 1);
        automatic ? p.page->autoConnect() : p.click("p_SerialportsConnect");
        if (!said.contains('|')) {
            // Each Connect closes the open port and identifies the unit again.
            if (!automatic)
                p.click("p_SerialportsConnect");
            QCOMPARE(p.announced.size(), said.isEmpty() ? 0 : automatic ? 1 : 2);
            QCOMPARE(p.unit.commandLog().size(), p.announced.size());
            for (const QString &announced : p.announced)
                QCOMPARE(announced, said);
            // Another unit appears ahead: the rebuilt list still points at the one connected.
            p.system.prepend(p.system.last());
            p.system.first().portName = "ttyACM7";
            p.page->refreshPortList();
            QCOMPARE(p.combo->currentText(), said.isEmpty() ? "ttyACM7" : port);
            // Disconnect lets go of the port for real; Cancel asks to end the program.
            p.click("p_SerialportsDisconnect");
            p.click("p_SerialportsCancel");
            QCOMPARE(p.announced.takeLast(), "");
            QCOMPARE(p.announced.takeLast(), "disconnected");
            QCOMPARE(other.open(), Serial::OpenResult::Opened);
            QCOMPARE(p.catcher.messages.size(), 0);
            return;
        }
        QVERIFY(p.catcher.waitForCount(1, 3000));
        const ModalCatcher::Message message = p.catcher.messages.first();
        QCOMPARE(QString(message.text + '|' + message.title).replace(p.unit.portPath(), "unit"),
                 said);
        QCOMPARE(p.announced.size(), 0);
        // A unit that failed identification keeps its port until the next Connect.
        QCOMPARE(p.serial.isOpen(), fault.startsWith("getFWInfo"));
        QCOMPARE(p.combo->currentIndex(), p.serial.isOpen() ? 0 : 1);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // on standard output for code 0, else on the error
        QTest::addColumn<QString>("options"); // ports, then the model to simulate
        const auto row = [](const char *tag, const QStringList &arguments, int code,
                            const QString &message, const char *options = "") {
            QTest::newRow(tag) << arguments << code << message << options;
        };
        row("nothing starts the window", {}, 0, "");
        row("version", {"--version"}, 0, QString("vantelo %1\n").arg(About::versionText));
        row("ports in order, a model",
            {"--port", "/dev/pts/7", "--port=/tmp/ttyB", "--simulate", "7185"}, 0, "",
            "/dev/pts/7 /tmp/ttyB 7185");
        row("unknown option", {"--bogus"}, 2, "Unknown option 'bogus'");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFETCH(QString, options);
        const CommandLineResult result = parseCommandLine(QStringList{"vantelo"} + arguments);
        QCOMPARE(result.run, message.isEmpty());
        QCOMPARE(result.exitCode, exitCode);
        const QString shown = exitCode == 0 ? result.output : result.error;
        QVERIFY2(message.isEmpty() ? shown.isEmpty() : shown.contains(message), qPrintable(shown));
        QCOMPARE(
            (result.options.ports + QStringList{result.options.simulateModel}).join(' ').trimmed(),
            options);
    }

    // Save Settings, then Load Settings of that file edited: what differs is listed before
    // anything is written, the checked rows are written once each, and a file that cannot be
    // used sends nothing.
    void settingsFiles_data()
    {
        QTest::addColumn<QString>("edit"); // "key=JSON value" put into the saved file
        QTest::addColumn<QString>("unchecked");
        QTest::addColumn<QStringList>("sets");
        QTest::addColumn<QString>("message"); // a message instead of the list
        QTest::newRow("the file as saved") << ""
                                           << "" << QStringList() << "already holds every";
        QTest::newRow("checked rows written once, unchecked not")
            << "dmx.universe=77,device.label=\"Stage\""
            << "device.label" << QStringList{"setUniverse 77"} << "";
        QTest::newRow("a malformed value refuses the file")
            << "dmx.universe=905.0,device.label=\"Stage\""
            << "" << QStringList() << "dmx.universe";
        QTest::newRow("another family's file") << "family=\"712x\""
                                               << "" << QStringList() << "family 712x";
    }

    void settingsFiles()
    {
        QFETCH(QString, edit);
        QFETCH(QString, unchecked);
        QFETCH(QStringList, sets);
        QFETCH(QString, message);
        AppRig rig("7146");
        QVERIFY2(rig.start(), qPrintable(rig.error));
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json"), loaded = dir.filePath("edited.json");
        SettingsFiles *files = rig.window->settingsFiles();
        files->setFileChooser(
            [&](QWidget *, bool forSaving, const QString &) { return forSaving ? saved : loaded; });
        QVERIFY(rig.window->findChild<QAction *>("actionSave_Settings")->isEnabled());
        files->save();
        QTRY_COMPARE(rig.catcher.count("Saved 40 setting(s) of the 7146 to unit.json."), 1);
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        for (const QString &change : edit.split(',', Qt::SkipEmptyParts)) {
            const QRegularExpression member(
                '"' + QRegularExpression::escape(change.section('=', 0, 0)) + "\": [^,\n]+");
            text.replace(
                member.match(text).captured().toUtf8(),
                ('"' + change.section('=', 0, 0) + "\": " + change.section('=', 1)).toUtf8());
        }
        QFile out(loaded);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(text) == text.size());
        out.close();

        QStringList listed;
        files->setDialogRunner([&](QDialog *dialog) {
            auto *load = static_cast<LoadSettingsDialog *>(dialog);
            listed = load->chosenKeys();
            load->setChosen(unchecked, false);
            load->findChild<QPushButton *>("pb_apply")->click();
        });
        const int messages = rig.catcher.count();
        rig.server.clearLog();
        files->load();
        QStringList written;
        for (const QString &line : rig.server.commandLog()) {
            if (line.startsWith("set"))
                written << line;
        }
        QCOMPARE(written, sets);
        if (!message.isEmpty()) {
            QTRY_COMPARE(rig.catcher.count(), messages + 1);
            QVERIFY2(rig.catcher.last().text.contains(message),
                     qPrintable(rig.catcher.last().text));
            QVERIFY(listed.isEmpty());
        } else {
            QCOMPARE(listed, QStringList({"device.label", "dmx.universe"}));
        }
        // After reading the unit, the poll and the background refresh run again: the page on
        // screen is read again at once.
        if (!listed.isEmpty() || message.startsWith("already")) {
            const int logged = rig.server.commandLog().size();
            QTRY_VERIFY(rig.server.commandLog().mid(logged).contains("getUniverse"));
        }
    }

    void settingsFileUnitGoes_data()
    {
        QTest::addColumn<bool>("saving");
        // other: while the file dialog is open the unit is pulled and another 7146 (another UID,
        // another universe) is connected in its place; lost: the unit goes during the work.
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("message");
        QTest::newRow("Save, another unit after the dialog -> nothing saved")
            << true << "other"
            << "no longer the unit on the port. Nothing was saved.";
        QTest::newRow("Load, another unit after the dialog -> nothing written")
            << false << "other"
            << "no longer the unit on the port. Nothing was written.";
        QTest::newRow("Save, unit lost while read -> one message")
            << true << "lost"
            << "The unit stopped answering; nothing was saved.";
        QTest::newRow("Load, unit lost while compared -> one message")
            << false << "lost"
            << "The unit stopped answering; nothing was written.";
    }

    // A settings file never reaches another unit, and a loss is reported once.
    void settingsFileUnitGoes()
    {
        QFETCH(bool, saving);
        QFETCH(QString, meanwhile);
        QFETCH(QString, message);
        AppRig rig("7146");
        QVERIFY2(rig.start(), qPrintable(rig.error));
        QTemporaryDir dir;
        const QString saved = dir.filePath("unit.json"), path = dir.filePath("now.json");
        SettingsFiles *files = rig.window->settingsFiles();
        files->setFileChooser([&](QWidget *, bool, const QString &) { return saved; });
        files->save();
        QTRY_COMPARE(rig.catcher.count("Saved 40 setting(s) of the 7146 to unit.json."), 1);
        files->setDialogRunner(
            [](QDialog *dialog) { dialog->findChild<QPushButton *>("pb_apply")->click(); });
        files->setFileChooser([&](QWidget *, bool, const QString &) {
            if (meanwhile == "lost") {
                rig.server.setUnplugAfterCommands(3);
            } else {
                rig.server.unplug();
                rig.waitForLoss(rig.losses.size());
                rig.server.setUid("4B56000099AA");
                rig.server.modifyState([](sim::DeviceState &s) { s.universe = 77; });
                rig.reconnect();
            }
            return saving ? path : saved;
        });
        const int losses = rig.losses.size();
        rig.server.clearLog();
        saving ? files->save() : files->load();
        QTRY_VERIFY(rig.catcher.count() > 0 && rig.catcher.last().text.endsWith(message));
        QVERIFY(rig.server.commandLog().filter(QRegularExpression("^set")).isEmpty());
        QVERIFY(!QFile::exists(path));
        // Reported once: by the window while the dialog was open, or by the action alone (the
        // window's poll lets the unit go before it is back at the port page).
        QTRY_VERIFY(meanwhile == "other" ? rig.isConnected() : rig.isOnPortPage());
        QCOMPARE(rig.losses.size(), losses + (meanwhile == "other" ? 1 : 0));
    }

    // The station owns every unit from Start to Stop: the window lets go of its own without a
    // disconnection message and connects again afterwards.
    void station_takesTheUnitAndGivesItBack_data()
    {
        QTest::addColumn<bool>("planned");
        QTest::newRow("address and label from the sequence") << false;
        QTest::newRow("from a plan -> the sequence's fields disabled") << true;
    }
    void station_takesTheUnitAndGivesItBack()
    {
        QFETCH(bool, planned);
        AppRig rig("7146");
        QVERIFY2(rig.start(), qPrintable(rig.error));
        QTemporaryDir dir;
        const QString templatePath = dir.filePath("template.json");
        SettingsFiles *files = rig.window->settingsFiles();
        files->setFileChooser([&](QWidget *, bool, const QString &) { return templatePath; });
        files->save();
        QTRY_COMPARE(rig.catcher.count("Saved 40 setting(s) of the 7146 to template.json."), 1);

        StationWindow *station = rig.window->stationWindow();
        station->findChild<QLineEdit *>("le_template714x")->setText(templatePath);
        station->findChild<QLineEdit *>("le_log")->setText(dir.filePath("log.csv"));
        if (planned) {
            QFile plan(dir.filePath("plan.csv"));
            QVERIFY(plan.open(QIODevice::WriteOnly));
            plan.write("label,model,universe,address,personality\nRig 1,7146,1,101,8-bit\n");
            station->findChild<QLineEdit *>("le_plan")->setText(plan.fileName());
        } else {
            station->findChild<QSpinBox *>("sb_startAddress")->setValue(101);
            station->findChild<QLineEdit *>("le_label")->setText("Rig {n}");
        }
        QCOMPARE(station->findChild<QLineEdit *>("le_label")->isEnabled(), !planned);
        station->findChild<QPushButton *>("pb_start")->click();
        QVERIFY(station->isRunning());
        QVERIFY(rig.isOnPortPage());
        QVERIFY(
            !rig.window->portPage()->findChild<QPushButton *>("p_SerialportsConnect")->isEnabled());
        QVERIFY(!rig.window->findChild<QAction *>("actionLoad_Settings")->isEnabled());
        auto *units = station->findChild<QTableWidget *>("tw_units");
        QTRY_COMPARE_WITH_TIMEOUT(units->item(0, 6) ? units->item(0, 6)->text() : QString(),
                                  QString("PASS"), 8000);
        QCOMPARE(rig.server.state().rootLabel, QString("Rig 1"));
        QCOMPARE(rig.server.state().dmxAddress, 101);
        QVERIFY(!rig.isConnected());
        station->findChild<QPushButton *>("pb_stop")->click();
        QTRY_VERIFY(!station->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(rig.isConnected(), 5000);
        QCOMPARE(rig.catcher.count("Serial port disconnected"), 0);
    }

    // File, Rig Record…: the record's units, narrowed by universe, a unit's history and its
    // universe's map, and the export the command line writes.
    void rigRecord_showsFiltersAndExports()
    {
        AppRig rig("7146");
        QVERIFY2(rig.start(), qPrintable(rig.error));
        QTemporaryDir dir;
        QHash<QString, QString> uuids;
        const QString url = heldRecord(dir, uuids);
        rig.window->findChild<QAction *>("actionRig_Record")->trigger();
        auto *view = rig.window->findChild<RigRecordWindow *>();
        QVERIFY(view && view->isVisible());
        view->setFileChooser(
            [&](QWidget *, bool forExport) { return forExport ? dir.filePath("u1.csv") : url; });
        view->findChild<QPushButton *>("pb_record")->click();
        auto *units = view->findChild<QTableWidget *>("tw_units");
        QCOMPARE(units->rowCount(), 4);
        view->findChild<QSpinBox *>("sb_universe")->setValue(1);
        QCOMPARE(units->rowCount(), 2);
        units->selectRow(1);
        auto *history = view->findChild<QTableWidget *>("tw_history");
        QCOMPARE(history->rowCount(), 1);
        QCOMPARE(history->item(0, 3)->text(), QString("universe 1 address 11+2 \"Truss 2\""));
        QVERIFY(view->findChild<QSvgWidget *>("w_map")->renderer()->isValid());
        view->findChild<QPushButton *>("pb_export")->click();
        QString why;
        const auto plan = patch::readPlan(dir.filePath("u1.csv"), {}, &why);
        QVERIFY2(plan, qPrintable(why));
        QCOMPARE(plan->slotList.size(), 2);
        QCOMPARE(plan->slotList.at(1).uuid.toString(QUuid::WithoutBraces).toUpper(),
                 uuids.value("Truss 2"));
    }

    // Last: once the application was told to exit, no event loop runs again in this process.
    void cancel_exitsWithOne_data()
    {
        QTest::addColumn<bool>("ownHandler");
        QTest::newRow("exit handler") << true;
        QTest::newRow("default: the event loop ends") << false;
    }

    void cancel_exitsWithOne()
    {
        QFETCH(bool, ownHandler);
        std::unique_ptr<AppRig> rig;
        QVERIFY(scriptRig(rig, 0, {}));
        QList<int> codes;
        if (ownHandler)
            rig->window->setExitHandler([&codes](int code) { codes << code; });
        QTRY_VERIFY(rig->isConnected());
        QPointer<QWidget> portPage = rig->window->portPage();
        auto *cancel = portPage->findChild<QPushButton *>("p_SerialportsCancel");
        QEventLoop loop;
        QTimer::singleShot(50, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
        QTimer::singleShot(ownHandler ? 500 : 10000, &loop, [&loop] { loop.exit(99); });
        QCOMPARE(loop.exec(), ownHandler ? 99 : 1);
        QCOMPARE(codes, ownHandler ? QList<int>{1} : QList<int>());
        QVERIFY(rig->window->channel() == nullptr && rig->window->devicePages().isEmpty());
        QTRY_VERIFY(portPage.isNull());
        // Nothing is asked of the unit after the shut-down.
        const int logged = rig->server.commandLog().size();
        QTest::qWait(1200);
        QCOMPARE(rig->server.commandLog().size(), logged);
    }
};

QTEST_MAIN(TestAppWindow)
#include "tst_app_window.moc"
