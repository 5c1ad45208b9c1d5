// vantelo-sim serving several units: each its own path, model, UID, seed and by-id link; control
// lines that unplug and plug them without the simulator growing in descriptors or threads.
#include "core/SimDevice.h"
#include "link/Serial.h"
#include "unit/ModelCatalogue.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

namespace {

QString simulatorPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../simulator/vantelo-sim");
}

// Sends a control line, if any, and returns the next line of output.
QString line(QProcess &process, const QByteArray &control = QByteArray())
{
    if (!control.isEmpty())
        process.write(control + '\n');
    while (!process.canReadLine() && process.waitForReadyRead(5000)) {
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// The whole answer with line breaks as blanks; empty when the port does not open.
QString ask(const QString &path, const QString &model, const QString &command)
{
    Serial serial;
    serial.setPortName(path);
    serial.setPrompt(catalogue::familyPrompt(catalogue::find(model)->family));
    QString reply;
    if (serial.open() == Serial::OpenResult::Opened)
        serial.sendCommand(command + '\n', reply);
    return reply;
}

QString linkName(const QString &model, const QString &uid)
{
    return QStringLiteral("usb-Korvane_%1_%2-if00")
        .arg(QString(catalogue::find(model)->name).replace(' ', '_'), uid);
}

int entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

} // namespace

class tst_SimUnits : public QObject
{
    Q_OBJECT

private slots:
    void units_data()
    {
        QTest::addColumn<QStringList>("unitWords");
        QTest::addColumn<int>("seed");
        // The UID unit i must report; missing or empty: one of its own. Every unit's is distinct.
        QTest::addColumn<QStringList>("uids");
        QTest::newRow("every catalogue model") << catalogue::modelNumbers() << 0 << QStringList();
        QTest::newRow("one model thrice, seeded")
            << QStringList{"7126", "7126", "7126"} << 7 << QStringList{"4B5600000C31"};
        QTest::newRow("given UIDs, one where the model's own would go")
            << QStringList{"7146", "7146", "7146:4B56000112A4", "7147:0123456789ab"} << 2
            << QStringList{"", "", "4B56000112A4", "0123456789AB"};
    }

    void units()
    {
        QFETCH(QStringList, unitWords);
        QFETCH(int, seed);
        QFETCH(QStringList, uids);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString links = dir.filePath(QStringLiteral("by-id"));
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice()); // EOF at once must end nothing
        process.start(simulatorPath(), unitWords + QStringList{"--seed", QString::number(seed),
                                                               "--link-dir", links});
        QStringList paths;
        for (int i = 0; i < unitWords.size(); ++i)
            paths.append(line(process));
        QStringList seen;
        for (int i = 0; i < unitWords.size(); ++i) {
            const QString model = unitWords.at(i).section(':', 0, 0);
            QVERIFY(ask(paths.at(i), model, "getFWInfo").contains("Model: " + model));
            static const QRegularExpression uidWord(QStringLiteral("RDM UID: ([0-9A-F]{12}) "));
            const QString uid = uidWord.match(ask(paths.at(i), model, "getFCConfig")).captured(1);
            QVERIFY2(!uid.isEmpty() && !seen.contains(uid) &&
                         (uids.value(i).isEmpty() || uid == uids.at(i)),
                     qPrintable(QStringLiteral("unit %1: %2").arg(i).arg(uid)));
            seen.append(uid);
            QCOMPARE(ask(paths.at(i), model, "getUniverse").split(' ', Qt::SkipEmptyParts).value(4),
                     QString::number(sim::SimDevice(model).seededState(seed + i).universe));
            QCOMPARE(QFileInfo(links + '/' + linkName(model, uid)).canonicalFilePath(),
                     QFileInfo(paths.at(i)).canonicalFilePath());
        }
        QCOMPARE(entries(links), unitWords.size());
        QVERIFY(!process.waitForFinished(200));
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(links));
    }

    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("UID not hexadecimal") << QStringList{"7146", "7146:4B56000012AG"};
        QTest::newRow("UID too short") << QStringList{"7146:4B56000012A"};
        QTest::newRow("UID empty") << QStringList{"7126:"};
        QTest::newRow("negative seed") << QStringList{"7146", "--seed", "-1"};
        QTest::newRow("two unitWords under one link name")
            << QStringList{"7146:0000000000AA", "7147:0000000000aa", "--link-dir", "/tmp"};
    }

    void refused()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(simulatorPath(), arguments);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QCOMPARE(process.readAllStandardError().count('\n'), 1);
    }

    void controlLines()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess process;
        process.start(simulatorPath(), {"7146", "7185:00000000BEEF", "--link-dir", dir.path()});
        Serial held; // on unit 0 throughout: the other's cycles and "plug 0" leave it be
        held.setPortName(line(process));
        held.setPrompt(QStringLiteral("714x:"));
        QCOMPARE(held.open(), Serial::OpenResult::Opened);
        const QString path = line(process);
        const QString link = dir.filePath(linkName("7185", "00000000BEEF"));
        const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());
        const auto cycle = [&] {
            QCOMPARE(line(process, "unplug 1"), QStringLiteral("ok"));
            QVERIFY(!QFileInfo(path).isSymLink() && !QFileInfo(link).isSymLink());
            QCOMPARE(line(process, "plug 1"), QStringLiteral("ok"));
            QCOMPARE(QFileInfo(link).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
            QVERIFY(ask(link, "7185", "getFWInfo").contains("Model: 7185"));
        };
        // Counted only once a whole cycle has run: what the simulator (or a sanitizer's runtime)
        // opens on its first pass through the event loop is not a leak, and a loaded machine lets
        // the count be taken before or after it.
        cycle();
        const int fds = entries(proc + "fd");
        const int threads = entries(proc + "task");
        for (int n = 0; n < 30; ++n)
            cycle();
        // A leak grows with the cycles and stays; anything still closing settles.
        QTRY_COMPARE(entries(proc + "fd"), fds);
        QTRY_COMPARE(entries(proc + "task"), threads);
        for (const char *control : {"unplug 2", "plug -1", "plug", "dance 0", "quit now"})
            QVERIFY2(line(process, control).startsWith("error: "), control);
        QCOMPARE(line(process, "plug 0"), QStringLiteral("ok"));
        QString reply;
        QVERIFY(held.sendCommand("getFWInfo\n", reply) && reply.contains("Model: 7146"));
        QCOMPARE(line(process, "quit"), QStringLiteral("ok"));
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(entries(dir.path()), 0);
    }
};

QTEST_GUILESS_MAIN(tst_SimUnits)
#include "tst_sim_units.moc"
