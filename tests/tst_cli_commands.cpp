// vantelo-cli's commands run in-process against simulated units, with the simulator's command
// log as the oracle for what reached the unit; a few rows start the real program.

#include "Version.h"
#include "cli/Cli.h"
#include "server/PtyServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run
{
    int code;
    QString out;
    QString err;
};

Run runCli(const QStringList &arguments)
{
    Run run{0, {}, {}};
    QTextStream out(&run.out), err(&run.err);
    run.code = cli::run(arguments, out, err);
    return run;
}

// The set commands in the log, by name, consecutive repeats folded: "setRdmLabel setCurve ...".
QString setSequence(const QStringList &log)
{
    QStringList names;
    for (const QString &line : log) {
        const QString name = line.section(QLatin1Char(' '), 0, 0);
        if (name.startsWith(QLatin1String("set")) && (names.isEmpty() || names.last() != name))
            names.append(name);
    }
    return names.join(QLatin1Char(' '));
}

QJsonObject settingsIn(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).object().value("settings").toObject();
}

QByteArray fileText(const QByteArray &settings, const QByteArray &family = "714x")
{
    return R"({"format": "vantelo-settings", "version": 1, "family": ")" + family +
           R"(", "settings": {)" + settings + "}}";
}

void writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

} // namespace

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writeOrder_data();
    void writeOrder();
    void refusedFile_data();
    void refusedFile();
    void noValue_data();
    void noValue();
    void slowUnit_data();
    void slowUnit();
    void unplugDuringApply_data();
    void unplugDuringApply();
    void selection_data();
    void selection();
    void exitCode_data();
    void exitCode();
    void program_data();
    void program();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestCliCommands::roundTrip_data()
{
    QTest::addColumn<QString>("model");
    for (const char *model : {"7146", "7147", "7126", "7127", "7185", "7186"})
        QTest::newRow(model) << model;
}

void TestCliCommands::roundTrip()
{
    QFETCH(QString, model);
    sim::PtyServer first(model), second(model);
    first.setSeed(1);
    second.setSeed(2);
    QVERIFY(first.start() && second.start());
    const QString saved = path(model + "-1.json"), again = path(model + "-2.json");
    const Run save = runCli({"--port", first.portPath(), "save", saved});
    QVERIFY2(save.code == 0, qPrintable(save.err));

    second.clearLog();
    const Run applied = runCli({"apply", saved, "--port", second.portPath()});
    QVERIFY2(applied.code == 0, qPrintable(applied.err));
    // The seeds differ in every key: each key of the file is written exactly once.
    const int sets = second.commandLog().filter(QRegularExpression("^set")).size();
    QCOMPARE(sets, settingsIn(saved).size());

    QCOMPARE(runCli({"--port", second.portPath(), "save", again}).code, 0);
    QCOMPARE(settingsIn(again), settingsIn(saved));
    second.clearLog();
    for (const char *command : {"diff", "apply"}) {
        const Run same = runCli({"--port", second.portPath(), command, saved});
        QCOMPARE(same.code, 0);
        QCOMPARE(same.out, QString("nothing to do: the unit holds the file's values (%1 keys)\n")
                               .arg(settingsIn(saved).size()));
    }
    QCOMPARE(setSequence(second.commandLog()), QString());
}

void TestCliCommands::writeOrder_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("unitSeed");
    QTest::addColumn<int>("fileSeed"); // -1: the file is fileSettings
    QTest::addColumn<QByteArray>("fileSettings");
    QTest::addColumn<int>("unitAddress"); // 0: as seeded
    QTest::addColumn<bool>("unitSixteenBit");
    QTest::addColumn<QString>("sequence");

    const QString channels =
        QString(" setCurve setRespTime setModulation setOffset").repeated(5).mid(1);
    QTest::newRow("7146, every key")
        << "7146" << 2 << 1 << QByteArray() << 0 << false
        << "setRdmLabel setDataLossDelay setDataLossHold setDataLossLevel " + channels +
               " setBumpEnable setUniverse setDmxAddress setDmxPersonality setVexaId setVexaKey "
               "setAntenna setFCPower setInputMode setRdmTraffic";
    const QString receiver = "setRdmLabel setDataLossDelay setDataLossHold setDataLossLevel "
                             "setUniverse setDmxAddress setVexaId setVexaKey setAntenna "
                             "setFCPower setRdmTraffic";
    QTest::newRow("7185, outputs switched on last")
        << "7185" << 1 << 2 << QByteArray() << 0 << false
        << receiver + " setPwmConfig set0-10Config";
    QTest::newRow("7185, outputs switched off first")
        << "7185" << 2 << 1 << QByteArray() << 0 << false
        << "setPwmConfig set0-10Config " + receiver;
    // 5 channels: 8-bit takes 5 slots, 16-bit 10; the end must stay within slot 512.
    QTest::newRow("to 16-bit lower down: address first")
        << "7146" << 0 << -1 << QByteArray(R"("dmx.personality": "16-bit", "dmx.address": 100)")
        << 506 << false << "setDmxAddress setDmxPersonality";
    QTest::newRow("to 8-bit higher up: personality first")
        << "7146" << 0 << -1 << QByteArray(R"("dmx.address": 506, "dmx.personality": "8-bit")")
        << 100 << true << "setDmxPersonality setDmxAddress";
    QTest::newRow("set, to 8-bit higher up: personality first")
        << "7146" << 0 << -1 << QByteArray("set dmx.address=506 dmx.personality=8-bit") << 100
        << true << "setDmxPersonality setDmxAddress";
    // The unit's own address is right; the read-back must still show it after the other write.
    QTest::newRow("an unchanged key is read back too")
        << "7146" << 0 << -1 << QByteArray(R"("dmx.address": 100, "dmx.universe": 63999)") << 100
        << false << "setUniverse";
    // Empty sequence: refused whole (exit 4), nothing written.
    QTest::newRow("file past slot 512: refused")
        << "7146" << 0 << -1 << QByteArray(R"("dmx.address": 510, "dmx.personality": "16-bit")")
        << 100 << false << "";
    QTest::newRow("file past slot 512 with the unit's 16-bit: refused")
        << "7146" << 0 << -1 << QByteArray(R"("dmx.address": 510)") << 100 << true << "";
}

void TestCliCommands::writeOrder()
{
    QFETCH(QString, model);
    QFETCH(int, unitSeed);
    QFETCH(int, fileSeed);
    QFETCH(QByteArray, fileSettings);
    QFETCH(int, unitAddress);
    QFETCH(bool, unitSixteenBit);
    QFETCH(QString, sequence);

    const QString file = path("order.json");
    sim::PtyServer unit(model);
    QVERIFY(unit.start());
    const bool set = fileSettings.startsWith("set ");
    if (fileSeed >= 0) {
        unit.setSeed(fileSeed);
        QCOMPARE(runCli({"--port", unit.portPath(), "save", file}).code, 0);
    } else if (!set) {
        writeFile(file, fileText(fileSettings));
    }
    unit.setSeed(unitSeed);
    unit.modifyState([&](sim::DeviceState &s) {
        s.dmxAddress = unitAddress ? unitAddress : s.dmxAddress;
        s.sixteenBit = unitAddress ? unitSixteenBit : s.sixteenBit;
    });
    unit.clearLog();
    const QStringList command = set ? QString(fileSettings).split(' ') : QStringList{"apply", file};
    const Run run = runCli(QStringList{"--port", unit.portPath()} + command);
    QVERIFY2(run.code == (sequence.isEmpty() ? 4 : 0), qPrintable(run.err));
    QCOMPARE(setSequence(unit.commandLog()), sequence);
    // After the last write and its own read-back, every key of the file is read back.
    const QStringList log = unit.commandLog();
    if (!set && !sequence.isEmpty())
        QCOMPARE(log.size() - log.lastIndexOf(QRegularExpression("^set.*")) - 2,
                 settingsIn(file).size());
}

void TestCliCommands::refusedFile_data()
{
    QTest::addColumn<QByteArray>("text"); // empty: the file does not exist
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << QByteArray() << "cannot read";
    QTest::newRow("not JSON") << QByteArray("{\"format\": ") << "not a settings file";
    QTest::newRow("JSON array") << QByteArray("[]") << "not a settings file";
    QTest::newRow("other format") << fileText("").replace("vantelo-settings", "other")
                                  << "not a settings file";
    QTest::newRow("newer version")
        << fileText("").replace("1,", "2,") << "format version 2 is newer";
    QTest::newRow("version 1.0") << fileText("").replace("1,", "1.0,")
                                 << "\"version\" is not a whole number";
    QTest::newRow("another family") << fileText(R"("dmx.address": 5)", "712x")
                                    << "the file is for family 712x, the unit is of family 714x";
    QTest::newRow("model of another family")
        << fileText("").replace("\"version\"", R"("model": "7185", "version")")
        << "model 7185 is not of family";
    QTest::newRow("unknown key") << fileText(R"("dmx.address": 5, "dmx.bogus": 1)")
                                 << "dmx.bogus is not a key of family 714x";
    QTest::newRow("key of another family")
        << fileText(R"("outputs.pwm": true)") << "outputs.pwm is not a key of family 714x";
    QTest::newRow("read-only key")
        << fileText(R"("identity.uid": "4B56000012A4")") << "identity.uid is read-only";
    QTest::newRow("905.0") << fileText(R"("device.label": "ok", "dmx.address": 905.0)")
                           << "dmx.address: 905.0 is not a whole number";
    QTest::newRow("1e3") << fileText(R"("failmode.delay": 1e3)")
                         << "failmode.delay: 1e3 is not a whole number";
    QTest::newRow("flag as text") << fileText(R"("dmx.rdm_traffic": "yes")")
                                  << "dmx.rdm_traffic: expected true or false";
    QTest::newRow("entry not in table")
        << fileText(R"("channel.a.curve": "Bogus")") << "channel.a.curve: 'Bogus' is not one of";
    QTest::newRow("fail time too long")
        << fileText(R"("failmode.hold": 70000)") << "failmode.hold: '70000' is neither";
    QTest::newRow("line break in a label") << fileText(R"("device.label": "a\nsetUserDefaults")")
                                           << "device.label: holds a line break";
    QTest::newRow("label too long for the buffer")
        << fileText("\"device.label\": \"" + QByteArray(250, 'x') + "\"")
        << "device.label: too long for the command buffer";
    QTest::newRow("half a surrogate pair in a label")
        << fileText(R"("device.label": "a\ud800")")
        << "device.label: holds a character the unit cannot hold";
    QTest::newRow("number past any command")
        << fileText(R"("dmx.universe": 99999999999999999999)")
        << "dmx.universe: 100000000000000000000 is out of range";
    QTest::newRow("key twice") << fileText(R"("dmx.address": 5, "dmx.address": 6)")
                               << "dmx.address appears twice";
    QTest::newRow("no settings") << fileText("").replace(R"("settings": {})", R"("x": 1)")
                                 << "no \"settings\" object";
}

void TestCliCommands::refusedFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    const QString file = path("refused.json");
    QFile::remove(file);
    if (!text.isEmpty())
        writeFile(file, text);
    sim::PtyServer unit("7146");
    QVERIFY(unit.start());
    for (const char *command : {"diff", "apply"}) {
        const Run run = runCli({"--port", unit.portPath(), command, file, "--json"});
        QCOMPARE(run.code, 4);
        QVERIFY2(run.err.contains(reason) && run.err.count('\n') == 1, qPrintable(run.err));
        QCOMPARE(QJsonDocument::fromJson(run.out.toUtf8()).object().value("exit").toInt(), 4);
    }
    QCOMPARE(setSequence(unit.commandLog()), QString());
}

void TestCliCommands::noValue_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("save, over an older file") << QStringList{"save", "%file"};
    QTest::newRow("diff: 3 before the 1 of the differences") << QStringList{"diff", "%file"};
    QTest::newRow("apply writes nothing") << QStringList{"apply", "%file"};
    QTest::newRow("get") << QStringList{"get"};
}

void TestCliCommands::noValue()
{
    QFETCH(QStringList, arguments);
    const QString file = path("novalue.json");
    arguments.replaceInStrings("%file", file);
    writeFile(file, fileText(R"("dmx.address": 5, "dmx.universe": 7)"));
    sim::PtyServer unit("7146");
    QVERIFY(unit.start());
    unit.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
        if (!line.startsWith("getDmxAddress"))
            return std::nullopt;
        return "getDmxAddress\r\nDMX start address set to many\r\n714x:";
    });
    const Run run = runCli(QStringList{"--port", unit.portPath()} + arguments);
    QCOMPARE(run.code, 3);
    QVERIFY2(run.err.contains("dmx.address: the unit's answer held no value ('many')"),
             qPrintable(run.err));
    QCOMPARE(setSequence(unit.commandLog()), QString());
    QCOMPARE(settingsIn(file).value("dmx.address").toInt(), 5);
}

void TestCliCommands::slowUnit_data()
{
    QTest::addColumn<int>("latencyMs");
    for (int ms : {150, 200, 250})
        QTest::addRow("answers after %d ms: each command its own answer", ms) << ms;
}

// Slower than the identification's first look: its answer comes late, during later commands.
void TestCliCommands::slowUnit()
{
    QFETCH(int, latencyMs);
    sim::PtyServer unit("7146");
    unit.setSeed(1);
    QVERIFY(unit.start());
    const QStringList get = {"--port",      unit.portPath(), "get",         "wireless.vexa_id",
                             "dmx.address", "device.label",  "identity.uid"};
    const Run prompt = runCli(get);
    QVERIFY(prompt.out.contains(QString("wireless.vexa_id %1\n").arg(unit.state().vexaId)));
    unit.setLatencyMs(latencyMs);
    const Run slow = runCli(get);
    QVERIFY2(slow.code == 0, qPrintable(slow.err));
    QCOMPARE(slow.out, prompt.out);
}

void TestCliCommands::unplugDuringApply_data()
{
    QTest::addColumn<int>("write"); // 1-based, of 40
    QTest::newRow("first write") << 1;
    QTest::newRow("a middle write") << 20;
    QTest::newRow("last write") << 40;
}

void TestCliCommands::unplugDuringApply()
{
    QFETCH(int, write);
    const QString file = path("unplug.json");
    sim::PtyServer unit("7146");
    QVERIFY(unit.start());
    unit.setSeed(1);
    QCOMPARE(runCli({"--port", unit.portPath(), "save", file}).code, 0);
    unit.setSeed(2);
    unit.clearLog();
    const Run dry = runCli({"--port", unit.portPath(), "apply", file, "--dry-run"});
    QVERIFY2(dry.code == 1, qPrintable(dry.err));
    // Identification and the reads of the plan, then a set and its read-back per key.
    unit.setUnplugAfterCommands(unit.commandLog().size() + 2 * (write - 1) + 1);
    const Run run = runCli({"--port", unit.portPath(), "apply", file, "--json"});
    QCOMPARE(run.code, 3);
    const QJsonObject report = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(report.value("lost").toBool(), true);
    QCOMPARE(report.value("written_and_verified").toArray().size(), write - 1);
    QVERIFY2(run.err.contains(QString("(%1 of 40 keys to write)").arg(write - 1)),
             qPrintable(run.err));
}

void TestCliCommands::selection_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("keysOrError"); // the keys printed, or the error

    QTest::newRow("a channel") << QStringList{"get", "--only", "channel.b"} << 0
                               << "channel.b.label channel.b.curve channel.b.response "
                                  "channel.b.modulation channel.b.offset";
    QTest::newRow("lists and repeats")
        << QStringList{"get",
                       "--only",
                       "channel",
                       "--except",
                       "channel.a,channel.b.label",
                       "--except=channel.b.curve"}
        << 0 << "channel.b.response channel.b.modulation channel.b.offset";
    QTest::newRow("keys and --only meet")
        << QStringList{"get", "dmx", "--only", "dmx.address"} << 0 << "dmx.address";
    QTest::newRow("diff compares the selection only")
        << QStringList{"diff", "%file", "--only", "channel.a.curve,dmx.universe"} << 1
        << "KEY dmx.universe channel.a.curve";
    QTest::newRow("empty selection") << QStringList{"get", "dmx.address", "--except", "dmx"} << 2
                                     << "the selection holds no key";
    QTest::newRow("not at a dot") << QStringList{"get", "--only", "chan"} << 2
                                  << "--only chan matches no key of any family";
    QTest::newRow("not in the unit's family") << QStringList{"get", "--except", "channel.e"} << 2
                                              << "--except channel.e matches no key of family 712x";
    QTest::newRow("diff: nothing of the file selected")
        << QStringList{"diff", "%small", "--only", "channel.a"} << 2
        << "the selection holds no key of the file";
    QTest::newRow("apply: nothing of the file selected")
        << QStringList{"apply", "%small", "--except", "dmx"} << 2
        << "the selection holds no key of the file";
    QTest::newRow("identity is never compared")
        << QStringList{"diff", "%file", "--only", "identity"} << 2
        << "--only identity matches no key of any family";
}

void TestCliCommands::selection()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, keysOrError);
    sim::PtyServer unit("7126");
    QVERIFY(unit.start());
    const QString file = path("selection.json");
    unit.setSeed(1);
    QCOMPARE(runCli({"--port", unit.portPath(), "save", file}).code, 0);
    unit.setSeed(2);
    writeFile(path("small.json"), fileText(R"("dmx.address": 5)", "712x"));
    arguments.replaceInStrings("%file", file);
    arguments.replaceInStrings("%small", path("small.json"));
    const Run run = runCli(QStringList{"--port", unit.portPath()} + arguments);
    QCOMPARE(run.code, code);
    QStringList keys;
    for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts))
        keys.append(line.section(' ', 0, 0));
    QCOMPARE(code == 2 ? run.err.trimmed().section(": ", 1) : keys.join(' '), keysOrError);
}

void TestCliCommands::exitCode_data()
{
    QTest::addColumn<QStringList>("arguments"); // %port: the simulated unit's
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");

    QTest::newRow("usage before a missing file")
        << QStringList{"--port", "%port", "--simulate", "7146", "apply", "none.json"} << 2
        << "--port and --simulate exclude each other";
    QTest::newRow("option of another command")
        << QStringList{"apply", "none.json", "--yes"} << 2 << "--yes does not go with apply";
    QTest::newRow("file before a missing unit")
        << QStringList{"--port", "/dev/ttyNONE", "diff", "none.json"} << 4 << "cannot read";
    QTest::newRow("no such port") << QStringList{"--port", "/dev/ttyNONE", "get"} << 3
                                  << "/dev/ttyNONE: no such port";
    QTest::newRow("unknown command") << QStringList{"frob"} << 2 << "unknown command 'frob'";
    QTest::newRow("no KEY=VALUE") << QStringList{"set", "dmx.address", "--port", "%port"} << 2
                                  << "'dmx.address' is not KEY=VALUE";
    QTest::newRow("read-only key") << QStringList{"--port", "%port", "set", "identity.uid=1"} << 2
                                   << "identity.uid is read-only";
    QTest::newRow("key of another family")
        << QStringList{"--port", "%port", "set", "outputs.pwm=true"} << 2
        << "outputs.pwm is not a key of family 714x";
    QTest::newRow("bad value") << QStringList{"--port", "%port", "set", "dmx.address=905.0"} << 2
                               << "dmx.address: '905.0' is not a whole number";
    QTest::newRow("number past any command")
        << QStringList{"--port", "%port", "set", "dmx.address=99999999999999999999"} << 2
        << "dmx.address: '99999999999999999999' is out of range";
    QTest::newRow("a key twice") << QStringList{"--port", "%port", "set", "dmx.universe=1",
                                                "dmx.universe=2"}
                                 << 2 << "dmx.universe is given twice";
    QTest::newRow("a label the unit cannot hold")
        << QStringList{"--port", "%port", "set", QString("device.label=a") + QChar(0xd800)} << 2
        << "device.label: holds a character the unit cannot hold";
    QTest::newRow("address and personality past slot 512")
        << QStringList{"--port", "%port", "set", "dmx.address=510", "dmx.personality=16-bit"} << 2
        << "start address 510 at 16-bit would end at slot 519, past 512";
    QTest::newRow("reset without --yes") << QStringList{"--port", "%port", "reset"} << 2
                                         << "reset restores the factory defaults only with --yes";
    QTest::newRow("seed without a simulator")
        << QStringList{"--seed", "1", "info"} << 2 << "--seed and --uid need --simulate";
    QTest::newRow("a value the unit refuses")
        << QStringList{"--port", "%port", "set", "dmx.address=12", "dmx.universe=0"} << 1
        << "dmx.universe did not take: the unit holds ";
    QTest::newRow("reset") << QStringList{"--port", "%port", "reset", "--yes"} << 0 << "";
    QTest::newRow("port relative to the current folder")
        << QStringList{"--port", "rig1/link", "set", "dmx.universe=5"} << 0 << "";
    // Replacing a FIFO or a device node with a file would break whatever reads from it.
    QTest::newRow("save onto a FIFO")
        << QStringList{"--port", "%port", "save", "%fifo"} << 4 << "%fifo is not a regular file";
    QTest::newRow("save onto a folder")
        << QStringList{"--port", "%port", "save", "%folder"} << 4 << "%folder is a folder";
}

void TestCliCommands::exitCode()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, error);
    sim::PtyServer unit("7146"), factory("7146");
    QVERIFY(unit.start());
    unit.setSeed(3);
    // rig1/link leads to the unit from the test's folder, and to nothing under /dev.
    QVERIFY(QDir().mkpath(path("rig1")) && QDir::setCurrent(m_dir.path()));
    QFile::remove(path("rig1/link"));
    QVERIFY(QFile::link(unit.portPath(), path("rig1/link")));
    const QString fifo = path("fifo"), folder = path("folder");
    QVERIFY(QFileInfo::exists(fifo) || ::mkfifo(qPrintable(fifo), 0600) == 0);
    QVERIFY(QDir().mkpath(folder));
    const QList<QPair<QString, QString>> places = {
        {"%port", unit.portPath()}, {"%fifo", fifo}, {"%folder", folder}};
    for (const auto &[from, to] : places) {
        arguments.replaceInStrings(from, to);
        error.replace(from, to);
    }
    const Run run = runCli(arguments);
    QVERIFY(!QFileInfo(fifo).isFile() && QFileInfo(folder).isDir());
    QCOMPARE(run.code, code);
    QVERIFY2(error.isEmpty() ? run.err.isEmpty() : run.err.startsWith("vantelo-cli: " + error),
             qPrintable(run.err));
    // Only a command that got past every check reached the unit with a set.
    QCOMPARE(setSequence(unit.commandLog()).isEmpty(), code > 1);
    if (arguments.contains("reset") && code == 0)
        QVERIFY(unit.state() == factory.state());
}

void TestCliCommands::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("version") << QStringList{"--version"} << 0
                             << "vantelo-cli " VANTELO_VERSION_TEXT "\n"
                             << "";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << ""
                                    << "vantelo-cli: unknown option '--frobnicate'";
    QTest::newRow("info of a simulated unit")
        << QStringList{"--simulate", "7186", "--uid", "0123456789AB", "info"} << 0
        << "model 7186\ndescription Farcast Receiver Card\nfamily 718x\nsoftware 3.1.0, "
           "1.7.3\nboot 1.2.2, 1.0.4\nuid 0123456789AB\nlabel Farcast Receiver\n"
        << "";
    QTest::newRow("JSON on stdout, the error on stderr")
        << QStringList{"--simulate", "7146", "diff", "none.json", "--json"} << 4 << "\"exit\": 4"
        << "vantelo-cli: cannot read none.json";
}

void TestCliCommands::program()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    // Without a display, and with a platform that would need one were it ever loaded.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "xcb");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.start(QCoreApplication::applicationDirPath() + "/../cli/vantelo-cli", arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), code);
    const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(code == 4 ? stdOut.contains(out) : stdOut == out, qPrintable(stdOut));
    QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), qPrintable(stdErr));
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_cli_commands.moc"
