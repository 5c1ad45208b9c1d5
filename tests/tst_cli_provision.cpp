// vantelo-cli provision and the station under it, in-process against simulated units reached
// through a link folder; the log, the units' states and their command logs are the oracle.
#include "cli/Cli.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "server/PtyServer.h"
#include "station/ProvisionLog.h"
#include "station/Provisioning.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace {

QString uid(int i)
{
    return QStringLiteral("4B5600AA%1").arg(i, 4, 10, QLatin1Char('0'));
}

QStringList csvFields(const QString &line)
{
    static const QRegularExpression field(QStringLiteral("(\"(?:[^\"]|\"\")*\"|[^,]*)(,|$)"));
    QStringList out;
    for (auto it = field.globalMatch(line); it.hasNext();) {
        const auto match = it.next();
        QString text = match.captured(1);
        if (text.startsWith('"'))
            text = text.mid(1, text.size() - 2).replace("\"\"", "\"");
        out.append(text);
        if (match.captured(2).isEmpty())
            break;
    }
    return out;
}

// A log row with what the station reads of it: UID, universe, address, footprint, result.
QString row(int unit, int universe, int address, int footprint, const char *result = "PASS")
{
    return QStringLiteral("t,p,,7146,%1,,x.json,0,%2,%3,%4,L,%5,")
        .arg(uid(unit))
        .arg(universe)
        .arg(address)
        .arg(footprint)
        .arg(result);
}

int entries(const char *folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size();
}

// Simulated units, each reached through a link named u0, u1, ... in one folder, two levels below
// the rig's own (neither is there before the first unit is plugged in).
struct Rig
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<sim::PtyServer>> units;
    std::vector<std::unique_ptr<Serial>> holders; // other programs' hold on a unit

    QString links() const { return dir.filePath("bench/rig"); }
    QString log() const { return dir.filePath("log.csv"); }
    sim::PtyServer &operator[](int i) { return *units.at(size_t(i)); }

    // "7126" one link, "7126*2" two links to the one unit, "7146!" a curve that does not take,
    // "7146#" held by another program; plugged: links made now.
    void add(const QString &description, bool plugged = true)
    {
        const int i = int(units.size());
        units.push_back(std::make_unique<sim::PtyServer>(description.left(4)));
        sim::PtyServer &unit = *units.back();
        unit.setUid(uid(i));
        QVERIFY(unit.start());
        if (description.endsWith('!')) // answers a curve's set, keeps the curve it had
            unit.setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
                return line.startsWith("setCurve") ? std::optional<QByteArray>("\r\n714x:")
                                                   : std::nullopt;
            });
        if (plugged)
            plug(i, description.contains('*') ? 2 : 1);
        if (description.endsWith('#')) {
            holders.push_back(std::make_unique<Serial>());
            holders.back()->setPortName(QStringLiteral("%1/u%2").arg(links()).arg(i));
            QCOMPARE(holders.back()->open(), Serial::OpenResult::Opened);
        }
    }
    void plug(int i, int paths = 1)
    {
        QDir().mkpath(links());
        QStringList names = {QStringLiteral("%1/u%2").arg(links()).arg(i)};
        if (paths > 1)
            names.append(names.first() + QStringLiteral("-second"));
        QVERIFY((*this)[i].setExtraLinks(names));
    }

    // Per unit: "PASS <address> <label>" as the unit now holds them (planned: and "u<universe>
    // <personality>"), or the FAIL row's failure, or "no row"; rows after the first skip lines.
    QStringList outcomes(int skip, bool planned = false)
    {
        QStringList out;
        QFile file(log());
        const QStringList rows =
            !file.open(QIODevice::ReadOnly)
                ? QStringList()
                : QString(file.readAll()).split('\n', Qt::SkipEmptyParts).mid(skip);
        for (int i = 0; i < int(units.size()); ++i) {
            QVector<QStringList> mine;
            for (const QString &line : rows) {
                if (csvFields(line).value(4) == uid(i))
                    mine.append(csvFields(line));
            }
            const bool written =
                !(*this)[i].commandLog().filter(QRegularExpression("^set")).isEmpty();
            const sim::DeviceState state = (*this)[i].state();
            if (mine.size() > 1) {
                out.append(QStringLiteral("rows: %1").arg(mine.size()));
            } else if (mine.isEmpty()) {
                out.append(written ? "no row, written" : "no row");
            } else if (mine[0].value(12) == "PASS") {
                // The row says what the unit holds.
                const QString held =
                    QStringLiteral("%1 %2").arg(state.dmxAddress).arg(state.rootLabel);
                const QString row = mine[0].value(9) + ' ' + mine[0].value(11);
                out.append("PASS " + held + (row == held ? QString() : " (row: " + row + ")") +
                           (planned ? QStringLiteral(" u%1 %2-bit")
                                          .arg(state.universe)
                                          .arg(state.sixteenBit ? 16 : 8)
                                    : QString()));
            } else {
                out.append("FAIL " + mine[0].value(13) + (written ? "" : "; nothing written"));
            }
        }
        return out;
    }
};

struct Run
{
    int code;
    QString out, err;
};

// Runs the command; with a script, a station with --watch, played a step at a time while it runs:
// "plug I", "unplug I", "replug I", "heal I" (its faults cleared), "pause" (long enough for the
// station to see a unit gone), "lines N" (waits for N lines of results), "rm log", "replace log",
// "int" (SIGINT, as Ctrl-C). A station still running after 20 s gets two.
Run runCli(const QStringList &arguments, Rig *rig = nullptr, QStringList script = {})
{
    Run run{0, {}, {}};
    QTextStream out(&run.out), err(&run.err);
    QElapsedTimer whole, step;
    whole.start();
    step.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (whole.elapsed() > 20000) {
            script = QStringList{"int", "int"};
            whole.restart();
        }
        while (!script.isEmpty()) {
            const QString action = script.first().section(' ', 0, 0);
            const QString what = script.first().section(' ', 1);
            const int i = what.toInt();
            if ((action == "lines" && run.out.count('\n') < i) ||
                (action == "pause" && step.elapsed() < 300))
                return;
            if (action == "plug")
                rig->plug(i);
            else if (action == "unplug")
                (*rig)[i].unplug();
            else if (action == "replug")
                (*rig)[i].replug();
            else if (action == "heal")
                (*rig)[i].clearFaults();
            else if (action == "rm")
                QFile::remove(rig->log());
            else if (action == "replace" && QFile::rename(rig->log(), rig->log() + ".old"))
                QFile::copy(rig->log() + ".old", rig->log());
            else if (action == "int")
                ::raise(SIGINT);
            script.removeFirst();
            step.restart();
        }
    });
    if (!script.isEmpty())
        tick.start(20);
    run.code = cli::run(arguments, out, err);
    return run;
}

// Each of the texts, in this order, in standard output and then standard error.
void verifySaid(const Run &run, const QStringList &said)
{
    const QString all = run.out + run.err;
    int at = 0;
    for (const QString &text : said) {
        at = all.indexOf(text, at);
        QVERIFY2(at >= 0, qPrintable(QString("'%1' not in, or not in order:\n%2").arg(text, all)));
    }
}

} // namespace

class TestCliProvision : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void batch_data();
    void batch();
    void watchSession_data();
    void watchSession();
    void logInUse_data();
    void logInUse();
    void unplugDuringWrite_data();
    void unplugDuringWrite();
    void silentBesideFast();
    void watchInOrderOfArrival();
    void stopMidBatch_data();
    void stopMidBatch();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestCliProvision::initTestCase()
{
    const QMap<QString, QByteArray> templates = {
        {"t714.json", R"("714x", "settings": {"device.label": "T", "dmx.personality": "16-bit",
                         "channel.a.curve": "Linear"})"},
        {"t712.json", R"("712x", "settings": {"dmx.personality": "8-bit"})"},
        {"t718.json", R"("718x", "settings": {"dmx.address": 300, "outputs.pwm": true})"},
    };
    for (auto it = templates.begin(); it != templates.end(); ++it) {
        QFile file(path(it.key()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"format": "vantelo-settings", "version": 1, "family": )" + it.value() + "}");
    }
    QCOMPARE(runCli({"--simulate", "7146", "--seed", "1", "save", path("full714.json")}).code, 0);
    // The port source's own watch exists from here on, so the counts below see only the station.
    PortSource::availablePorts();
}

void TestCliProvision::batch_data()
{
    QTest::addColumn<QStringList>("units");
    // Besides the options: "%t714" a template; "%template-record" t712 copied to the record folder
    // as the first unit's UID.json; "%fifo-record" a FIFO there by that name; "%devnull-log" the
    // log a link to /dev/null; "%plan=ROW|ROW" --plan, a CSV plan of those rows.
    QTest::addColumn<QStringList>("arguments");
    // Rows in the log before the run, each on a line of its own; one ending "<cut>" ends the file
    // without its line break.
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("outcomes");
    QTest::addColumn<QStringList>("said"); // in order; none: nothing on standard error

    const QStringList all = {"%t714", "%t712", "%t718", "--start-address", "10"};
    const QStringList none;
    const QStringList two714 = {"7146", "7146"}, numbered = {"%t714", "--label", "#{n}"};
    const QStringList firstSkipped = {"no row", "PASS 1 #2"};
    QTest::newRow("mixed models and personalities, a card without --footprint")
        << QStringList{"7146", "7126", "7185", "7147"}
        << all + QStringList{"--label", "{model}-{n}@{address}"} << none << 0
        << QStringList{"PASS 10 7146-1@10", "PASS 20 7126-2@20", "PASS 300 7185-3@300",
                       "PASS 22 7147-4@22"}
        << none;
    QTest::newRow("a card with --footprint, labels from the template")
        << QStringList{"7185", "7146"} << all + QStringList{"--footprint", "7185=3"} << none << 0
        << QStringList{"PASS 10 Farcast Receiver", "PASS 13 T"} << none;
    QTest::newRow("--footprint below the slots of the template's personality -> usage")
        << QStringList{"7146"}
        << QStringList{"%t714", "--start-address", "1", "--footprint", "7146=5"} << none << 2
        << QStringList{"no row"} << QStringList{"7146=5 is smaller than the 10 slots"};
    QTest::newRow("range exhausted")
        << QStringList{"7126", "7146", "7146", "7126"}
        << QStringList{"%t714", "%t712", "--start-address", "500"} << none << 1
        << QStringList{"PASS 500 Glimmerline", "PASS 502 T",
                       "FAIL address range exhausted; nothing written",
                       "FAIL address range exhausted; nothing written"}
        << none;
    QTest::newRow("already provisioned; {n} after the log's PASS rows")
        << two714 << numbered << QStringList{row(0, 1, 1, 10), row(7, 1, 20, 10, "FAIL")} << 0
        << firstSkipped << none;
    // The log as a spreadsheet may leave it, and as a stop mid-write leaves it.
    QTest::newRow("log: a quoted field with commas, doubled quotes and a line break -> one row")
        << two714 << numbered
        << QStringList{row(0, 1, 1, 10).replace(",L,", ",\"a \"\"b\"\",\nc\",")} << 0
        << firstSkipped << none;
    QTest::newRow("log: pass in lower case -> already provisioned")
        << two714 << numbered << QStringList{row(0, 1, 1, 10, "pass")} << 0 << firstSkipped << none;
    QTest::newRow("log: a lower-case, padded UID -> already provisioned")
        << two714 << numbered
        << QStringList{row(0, 1, 1, 10).replace(uid(0), ' ' + uid(0).toLower() + ' ')} << 0
        << firstSkipped << none;
    QTest::newRow("log: a row with fewer fields -> 4 before anything, naming the line")
        << two714 << numbered << QStringList{row(0, 1, 1, 10), "t,p,,7146," + uid(1) + ",PASS"} << 4
        << QStringList{"no row", "no row"} << QStringList{"line 3: 6 fields, not 14"};
    QTest::newRow("log: a row with more fields -> 4")
        << two714 << numbered << QStringList{row(1, 1, 1, 10) + ",x"} << 4
        << QStringList{"no row", "no row"} << QStringList{"line 2: 15 fields, not 14"};
    QTest::newRow("log: a result neither PASS nor FAIL -> 4")
        << two714 << numbered << QStringList{row(1, 1, 1, 10, "PASSED")} << 4
        << QStringList{"no row", "no row"} << QStringList{"line 2: the result 'PASSED'"};
    QTest::newRow("log: a half-written last row -> reported, closed, read again")
        << two714 << numbered
        << QStringList{row(0, 1, 1, 10), "t,p,,7146,4B5600AA0009,\"2.4.1, 1.<cut>"} << 0
        << firstSkipped << QStringList{"line 3: the last row was cut short", "counts as FAIL"};
    QTest::newRow("log: a last row cut in its PASS -> counts as PASS")
        << two714 << numbered << QStringList{row(0, 1, 1, 10).chopped(3) + "<cut>"} << 0
        << firstSkipped << QStringList{"line 2: the last row was cut short", "counts as PASS"};
    QTest::newRow("--again") << two714 << numbered + QStringList{"--again"}
                             << QStringList{row(0, 1, 1, 10)} << 0
                             << QStringList{"PASS 1 #2", "PASS 1 #3"} << none;
    QTest::newRow("--again keeps a unit on its own range")
        << two714 << numbered + QStringList{"--again", "--start-address", "1", "--universe", "1"}
        << QStringList{row(0, 1, 1, 10)} << 0 << QStringList{"PASS 1 #2", "PASS 11 #3"} << none;
    QTest::newRow("ranges reserved by PASS rows of the same universe")
        << QStringList{"7126", "7126", "7126"}
        << QStringList{"%t712", "--start-address", "1", "--universe", "1"}
        << QStringList{row(8, 1, 5, 10), row(9, 2, 1, 4), row(7, 1, 15, 2, "FAIL")} << 0
        << QStringList{"PASS 1 Glimmerline", "PASS 3 Glimmerline", "PASS 15 Glimmerline"} << none;
    QTest::newRow("no template for the family")
        << QStringList{"7126", "7146"} << QStringList{"%t714"} << none << 1
        << QStringList{"FAIL no template for family 712x; nothing written", "PASS 1 T"} << none;
    QTest::newRow("a value that does not take")
        << QStringList{"7146!", "7146"} << QStringList{"%t714"} << none << 1
        << QStringList{"FAIL channel.a.curve holds Square Law (Incan.), not Linear", "PASS 1 T"}
        << none;
    QTest::newRow("one unit through two paths")
        << QStringList{"7126*2"} << QStringList{"%t712"} << none << 0
        << QStringList{"PASS 1 Glimmerline"} << none;
    QTest::newRow("every unit held by another program -> named, 1")
        << QStringList{"7146#", "7126#"} << QStringList{"%t714", "%t712"} << none << 1
        << QStringList{"no row", "no row"}
        << QStringList{"BUSY (", "BUSY (", "0 passed, 0 failed, 2 busy"};
    QTest::newRow("a template named as a unit's record -> that unit not written")
        << QStringList{"7126", "7126"} << QStringList{"%template-record"} << none << 1
        << QStringList{"FAIL record: " + uid(0) +
                           ".json would replace a file this station reads; nothing written",
                       "PASS 1 Glimmerline"}
        << none;
    QTest::newRow("a record that is a FIFO -> 4")
        << QStringList{"7146"} << QStringList{"%t714", "%fifo-record"} << none << 4
        << QStringList{"no row"} << QStringList{"not a regular file"};
    QTest::newRow("the log a link to /dev/null -> 4")
        << QStringList{"7146"} << QStringList{"%t714", "%devnull-log"} << none << 4
        << QStringList{"no row"} << QStringList{"not a regular file"};
    const QString plan = "%plan=label,model,universe,address,personality|";
    QTest::newRow("plan: mixed models and personalities -> each its slot over the template's")
        << QStringList{"7146", "7126", "7126"}
        << QStringList{"%t714", "%t712",
                       plan + "Drop,7126,2,40,16-bit|Truss,7146,2,1,8-bit|Boom,7126,3,9,8-bit"}
        << none << 0
        << QStringList{"PASS 1 Truss u2 8-bit", "PASS 40 Drop u2 16-bit", "PASS 9 Boom u3 8-bit"}
        << none;
    QTest::newRow("plan: no slot left for the second 7146 -> it fails, not written")
        << two714 << QStringList{"%t714", plan + "A,7146,1,1,16-bit|B,7126,1,11,8-bit"} << none << 1
        << QStringList{"PASS 1 A u1 16-bit", "FAIL no planned slot left for 7146; nothing written"}
        << none;
    QTest::newRow("plan: a PASS row of the log on the first slot -> the next one")
        << QStringList{"7146"}
        << QStringList{"%t714", plan + "A,7146,1,1,16-bit|B,7146,1,11,16-bit"}
        << QStringList{row(9, 1, 1, 10)} << 0 << QStringList{"PASS 11 B u1 16-bit"} << none;
    QTest::newRow("plan: overlapping fixtures -> 4, naming both, nothing written")
        << two714 << QStringList{"%t714", plan + "A,7146,1,1,16-bit|B,7126,1,10,8-bit"} << none << 4
        << QStringList{"no row", "no row"}
        << QStringList{
               "row 2 \"A\" (universe 1, 1-10) and row 3 \"B\" (universe 1, 10-11) overlap"};
    QTest::newRow("plan: a model we do not make -> 4, nothing written")
        << two714 << QStringList{"%t714", plan + "A,7999,1,1,8-bit"} << none << 4
        << QStringList{"no row", "no row"} << QStringList{"row 2: model '7999' is not one we make"};
    QTest::newRow("plan with --start-address -> usage")
        << two714 << QStringList{"%t714", plan + "A,7146,1,1,8-bit", "--start-address", "1"} << none
        << 2 << QStringList{"no row", "no row"} << QStringList{"does not go with --start-address"};
    QTest::newRow("--map without --plan -> usage")
        << two714 << QStringList{"%t714", "--map", "Dim=7146"} << none << 2
        << QStringList{"no row", "no row"} << QStringList{"--map goes with --plan"};
    QTest::newRow("dry run") << QStringList{"7146", "7126"} << all + QStringList{"--dry-run"}
                             << none << 0 << QStringList{"no row", "no row"} << none;
    QTest::newRow("no unit") << none << QStringList{"%t714"} << none << 3 << none << none;
    QTest::newRow("unknown placeholder")
        << QStringList{"7146"} << QStringList{"%t714", "--label", "{name}"} << none << 2
        << QStringList{"no row"} << none;
    QTest::newRow("label too long at its longest")
        << QStringList{"7146"} << QStringList{"%t714", "--label", QString(220, 'x') + "{uid}{n}"}
        << none << 2 << QStringList{"no row"} << none;
    QTest::newRow("two templates of one family")
        << QStringList{"7146"} << QStringList{"%t714", "%full714"} << none << 2
        << QStringList{"no row"} << none;
}

void TestCliProvision::batch()
{
    QFETCH(QStringList, units);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, logged);
    QFETCH(int, code);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, said);
    Rig rig;
    QDir().mkpath(rig.links());
    for (const QString &description : units)
        rig.add(description);
    QByteArray before;
    if (!logged.isEmpty()) {
        QFile file(rig.log());
        QVERIFY(file.open(QIODevice::WriteOnly));
        before = (provision::logColumns().join(',') + '\n' + logged.join('\n') + '\n').toUtf8();
        if (before.endsWith("<cut>\n"))
            before.chop(6);
        file.write(before);
    }
    const QString records = rig.dir.filePath("rec"), firstRecord = records + '/' + uid(0) + ".json";
    QDir().mkpath(records);
    if (arguments.removeAll("%fifo-record"))
        QCOMPARE(::mkfifo(QFile::encodeName(firstRecord).constData(), 0600), 0);
    if (arguments.removeAll("%devnull-log"))
        QVERIFY(QFile::link("/dev/null", rig.log()));
    if (arguments.contains("%template-record"))
        QVERIFY(QFile::copy(path("t712.json"), firstRecord));
    arguments.replaceInStrings("%template-record", firstRecord);
    const int planAt = arguments.indexOf(QRegularExpression("^%plan=.*"));
    if (planAt >= 0) {
        QFile plan(rig.dir.filePath("plan.csv"));
        QVERIFY(plan.open(QIODevice::WriteOnly));
        plan.write(arguments.at(planAt).mid(6).replace('|', '\n').toUtf8());
        arguments.replace(planAt, plan.fileName());
        arguments.insert(planAt, "--plan");
    }
    arguments.replaceInStrings(QRegularExpression("^%(t7.*|full714)$"), path("\\1.json"));
    const int threads = entries("/proc/self/task"), descriptors = entries("/proc/self/fd");
    const Run run = runCli(QStringList{"provision", "--log", rig.log(), "--port-dir", rig.links(),
                                       "--record-dir", records} +
                           arguments);
    QVERIFY2(run.code == code, qPrintable(run.out + run.err));
    // Every port was a unit, each seen once.
    if (said.isEmpty())
        QVERIFY2(code >= 2 || run.err.isEmpty(), qPrintable(run.err));
    verifySaid(run, said);
    QCOMPARE(rig.outcomes(before.count('\n') + !before.endsWith('\n'), planAt >= 0), outcomes);
    // Every unit's thread has ended and its channel is closed.
    QTRY_COMPARE(entries("/proc/self/task"), threads);
    QCOMPARE(entries("/proc/self/fd"), descriptors);
    QFile log(rig.log());
    if (code == 2 || arguments.contains("--dry-run")) {
        QVERIFY(logged.isEmpty() && !log.exists());
        QVERIFY(QDir(records).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
    } else if (code == 4) {
        QVERIFY(!log.exists() || (log.open(QIODevice::ReadOnly) && log.readAll() == before));
    } else {
        // The station leaves a log it reads again.
        provision::LogHistory history;
        QString why;
        QVERIFY2(provision::readLog(rig.log(), history, &why), qPrintable(why));
    }
    // Each passed unit's record holds what it was given.
    for (int i = 0; i < int(units.size()); ++i) {
        if (!outcomes.at(i).startsWith("PASS"))
            continue;
        QFile record(records + '/' + uid(i) + ".json");
        QVERIFY(record.open(QIODevice::ReadOnly));
        QVERIFY(record.readAll().contains(
            QString("\"dmx.address\": %1,").arg(rig[i].state().dmxAddress).toUtf8()));
    }
}

void TestCliProvision::watchSession_data()
{
    QTest::addColumn<QStringList>("units");     // none plugged in yet
    QTest::addColumn<QStringList>("arguments"); // "%no-folder": the port folder is not there yet
    QTest::addColumn<QStringList>("script");    // as runCli() plays it
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("said");

    const QStringList replug0 = {"unplug 0", "pause", "replug 0"};
    QTest::newRow("the port folder made with the first unit -> waited for")
        << QStringList{"7126"} << QStringList{"%no-folder"}
        << QStringList{"plug 0", "lines 1", "int"} << 0
        << QStringList{"PASS 7126", "1 passed, 0 failed\n", "does not exist yet; waiting"};
    QTest::newRow("a unit failing, then passing, then skipped -> counted once, by its last result")
        << QStringList{"7146!"} << QStringList()
        << QStringList{"plug 0", "lines 1", "heal 0"} + replug0 + QStringList{"lines 2"} + replug0 +
               QStringList{"lines 3", "int"}
        << 0 << QStringList{"FAIL 7146", "PASS 7146", "SKIP 7146", "1 passed, 0 failed\n"};
    QTest::newRow("--again: a unit plugged in again keeps its range")
        << QStringList{"7126", "7126"} << QStringList{"--again"}
        << QStringList{"plug 0", "lines 1", "plug 1", "lines 2"} + replug0 +
               QStringList{"lines 3", "int"}
        << 0 << QStringList{"address 1-2", "address 3-4", "address 1-2", "2 passed, 0 failed\n"};
    QTest::newRow("the log deleted -> no more units, 4")
        << QStringList{"7126"} << QStringList() << QStringList{"plug 0", "lines 1", "rm log"} << 4
        << QStringList{"PASS 7126", "1 passed", "was deleted or moved; the station stopped"};
    QTest::newRow("the log replaced -> no more units, 4")
        << QStringList{"7126"} << QStringList() << QStringList{"plug 0", "lines 1", "replace log"}
        << 4 << QStringList{"PASS 7126", "1 passed", "was replaced by another file"};
}

void TestCliProvision::watchSession()
{
    QFETCH(QStringList, units);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, script);
    QFETCH(int, code);
    QFETCH(QStringList, said);
    Rig rig;
    for (const QString &description : units)
        rig.add(description, false);
    if (!arguments.removeAll("%no-folder"))
        QDir().mkpath(rig.links());
    const Run run =
        runCli(QStringList{"provision", path("t714.json"), path("t712.json"), "--log", rig.log(),
                           "--port-dir", rig.links(), "--start-address", "1", "--watch"} +
                   arguments,
               &rig, script);
    QVERIFY2(run.code == code, qPrintable(run.out + run.err));
    verifySaid(run, said);
}

void TestCliProvision::logInUse_data()
{
    QTest::addColumn<bool>("process");
    QTest::newRow("a station in this process -> 4, naming it") << false;
    QTest::newRow("a station in another process -> 4; killed, the log is free") << true;
}

void TestCliProvision::logInUse()
{
    QFETCH(bool, process);
    Rig rig;
    rig.add("7126");
    const QString empty = rig.dir.filePath("empty");
    QDir().mkpath(empty);
    auto holder = std::make_unique<provision::Station>();
    QProcess other;
    qint64 pid = QCoreApplication::applicationPid();
    if (process) {
        other.start(
            QCoreApplication::applicationDirPath() + "/../cli/vantelo-cli",
            {"provision", path("t712.json"), "--log", rig.log(), "--port-dir", empty, "--watch"});
        QVERIFY(other.waitForStarted());
        pid = other.processId();
    } else {
        provision::Setup setup;
        QString why;
        setup.templates.append(*provision::loadTemplate(path("t712.json"), &why));
        setup.logPath = rig.log();
        QVERIFY2(holder->start(setup, {{}, empty, false}, true, &why), qPrintable(why));
    }
    // The header is written once the lock is held; a loaded machine may take a while to start it.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(rig.log()).size() > 0, 30000);
    const QStringList arguments = {"provision", path("t712.json"), "--log",
                                   rig.log(),   "--port-dir",      rig.links()};
    const Run run = runCli(arguments);
    QCOMPARE(run.code, 4);
    QVERIFY2(run.err.contains(QString("the log is in use by another station, process %1").arg(pid)),
             qPrintable(run.err));
    QCOMPARE(rig.outcomes(1), QStringList{"no row"});
    QCOMPARE(QFileInfo(rig.log()).size(), provision::logColumns().join(',').size() + 1);
    // However the holder ended (SIGKILL leaves it no last word), the log is free.
    holder.reset();
    other.kill();
    other.waitForFinished();
    QCOMPARE(runCli(arguments).code, 0);
    QCOMPARE(rig.outcomes(1), QStringList{"PASS 1 Glimmerline"});
}

void TestCliProvision::unplugDuringWrite_data()
{
    QTest::addColumn<int>("write"); // 1-based, of 40
    QTest::newRow("first write") << 1;
    QTest::newRow("a middle write") << 20;
    QTest::newRow("last write") << 40;
}

void TestCliProvision::unplugDuringWrite()
{
    QFETCH(int, write);
    Rig rig;
    for (int i = 0; i < 3; ++i) {
        rig.add("7146");
        rig[i].setSeed(2);
    }
    sim::PtyServer *lost = &rig[1];
    int sets = 0;
    lost->setReplyOverride(
        [&sets, lost, write](const QByteArray &line) -> std::optional<QByteArray> {
            if (line.startsWith("set") && ++sets == write) {
                lost->unplug();
                return QByteArray();
            }
            return std::nullopt;
        });
    const Run run = runCli({"provision", path("full714.json"), "--log", rig.log(), "--port-dir",
                            rig.links(), "--start-address", "1", "--label", "{n}"});
    QCOMPARE(run.code, 1);
    const QStringList outcomes = rig.outcomes(1);
    QCOMPARE(outcomes.at(0), QString("PASS 1 1"));
    QCOMPARE(outcomes.at(2), QString("PASS 21 3"));
    QVERIFY2(QRegularExpression(QString("^FAIL the unit stopped answering at [a-z._]+ \\(%1 of 40 "
                                        "keys to write were written and verified\\)$")
                                    .arg(write - 1))
                 .match(outcomes.at(1))
                 .hasMatch(),
             qPrintable(outcomes.at(1)));
}

void TestCliProvision::silentBesideFast()
{
    Rig rig;
    for (int i = 0; i < 3; ++i)
        rig.add("7126");
    // Reads, but never answers a write: each write waits out the channel's silence.
    rig[0].setSeed(2);
    rig[0].setReplyOverride([](const QByteArray &line) -> std::optional<QByteArray> {
        return line.startsWith("set") ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    });
    provision::Setup setup;
    QString why;
    setup.templates.append(*provision::loadTemplate(path("t712.json"), &why));
    setup.startAddress = 1;
    setup.labelPattern = QStringLiteral("S");
    setup.logPath = rig.log();
    provision::Station station;
    QElapsedTimer clock;
    QMap<QString, qint64> finished;
    connect(&station, &provision::Station::unitFinished, this,
            [&](const provision::Unit &unit) { finished[unit.uid] = clock.elapsed(); });
    QSignalSpy done(&station, &provision::Station::finished);
    clock.start();
    QVERIFY(station.start(setup, {{}, rig.links(), false}, false, &why));
    QVERIFY(done.wait(20000));
    const QStringList outcomes = rig.outcomes(1);
    QVERIFY2(outcomes.at(0).startsWith("FAIL the unit stopped answering at device.label (0 of "),
             qPrintable(outcomes.at(0)));
    QCOMPARE(outcomes.mid(1), (QStringList{"PASS 3 S", "PASS 5 S"}));
    // The fast ones took their addresses after the silent one's turn, and did not wait for it.
    QVERIFY2(
        finished[uid(1)] + 500 < finished[uid(0)] && finished[uid(2)] + 500 < finished[uid(0)],
        qPrintable(
            QString("%1 %2 %3").arg(finished[uid(0)]).arg(finished[uid(1)]).arg(finished[uid(2)])));
}

void TestCliProvision::watchInOrderOfArrival()
{
    Rig rig;
    QDir().mkpath(rig.links());
    provision::Setup setup;
    QString why;
    setup.templates.append(*provision::loadTemplate(path("t712.json"), &why));
    setup.startAddress = 1;
    setup.labelPattern = QStringLiteral("{n}");
    setup.logPath = rig.log();
    provision::Station station;
    QStringList seen;
    connect(&station, &provision::Station::unitFinished, this, [&](const provision::Unit &unit) {
        seen.append(unit.uid.right(1) + ' ' + provision::resultName(unit.result));
    });
    QVERIFY(station.start(setup, {{}, rig.links(), false}, true, &why));
    // Links named against the order of arrival; each waits for the one before to finish.
    for (int i = 0; i < 3; ++i)
        rig.add("7126", false);
    const int arrivals[] = {2, 0, 1};
    for (int k = 0; k < 3; ++k) {
        rig.plug(arrivals[k]);
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), k + 1, 10000);
    }
    // Taken away and back: identified again, and known from the log.
    rig[2].unplug();
    QTRY_VERIFY(!QFile::exists(rig.links() + "/u2"));
    QTest::qWait(200);
    QVERIFY(rig[2].replug());
    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 4, 10000);
    QSignalSpy done(&station, &provision::Station::finished);
    station.stop();
    QVERIFY(done.count() == 1 || done.wait(5000));
    QCOMPARE(seen, (QStringList{"2 PASS", "0 PASS", "1 PASS", "2 already provisioned"}));
    QCOMPARE(rig.outcomes(1), (QStringList{"PASS 3 2", "PASS 5 3", "PASS 1 1"}));
}

void TestCliProvision::stopMidBatch_data()
{
    QTest::addColumn<bool>("destroyed");
    QTest::newRow("aborted") << false;
    QTest::newRow("destroyed while running (a window closed)") << true;
}

void TestCliProvision::stopMidBatch()
{
    QFETCH(bool, destroyed);
    Rig rig;
    for (int i = 0; i < 3; ++i) {
        rig.add("7146");
        rig[i].setSeed(2);
        rig[i].setLatencyMs(i == 0 ? 0 : 10);
    }
    provision::Setup setup;
    QString why;
    setup.templates.append(*provision::loadTemplate(path("full714.json"), &why));
    setup.startAddress = 1;
    setup.logPath = rig.log();
    {
        provision::Station station;
        QEventLoop loop;
        // Once the first unit has passed and the others are well into their writes.
        connect(&station, &provision::Station::unitProgress, &loop, [&](int id, int done) {
            if (id == 3 && done >= 50)
                destroyed ? loop.quit() : station.abort();
        });
        connect(&station, &provision::Station::finished, &loop, &QEventLoop::quit);
        QVERIFY(station.start(setup, {{}, rig.links(), false}, false, &why));
        loop.exec();
        QCOMPARE(station.isRunning(), destroyed);
    }
    // An interrupted unit says how far its writes got.
    const QStringList stopped = rig.outcomes(1).replaceInStrings(
        QRegularExpression(R"(\(\d+ of \d+ keys to write were written and verified\))"), "(N)");
    QCOMPARE(stopped, (QStringList{"PASS 1 Glimmerline #1", "FAIL interrupted (N)",
                                   "FAIL interrupted (N)"}));
    // A restarted station takes up where the first one stopped.
    for (int i = 0; i < 3; ++i)
        rig[i].clearLog();
    const Run run = runCli({"provision", path("full714.json"), "--log", rig.log(), "--port-dir",
                            rig.links(), "--start-address", "1"});
    QVERIFY2(run.code == 0, qPrintable(run.out + run.err));
    QVERIFY(run.out.startsWith("SKIP 7146 " + uid(0) + ": already provisioned"));
    QCOMPARE(rig.outcomes(4),
             (QStringList{"no row", "PASS 11 Glimmerline #1", "PASS 21 Glimmerline #1"}));
}

QTEST_GUILESS_MAIN(TestCliProvision)
#include "tst_cli_provision.moc"
