// The simulated device's command language: where each value stands in a reply, what every set
// command accepts, and that a refused command changes nothing. Replies are read the way the
// program reads them (line breaks to blanks, then the shared word-position helpers), so these
// rows pin the positions the pages rely on.
#include "core/SimDevice.h"
#include "link/ReplyParsing.h"

#include <QtTest>

using sim::DeviceState;
using sim::SimDevice;

namespace {

QString asChannelReply(QByteArray answer)
{
    return QString::fromUtf8(answer.replace('\r', ' ').replace('\n', ' '));
}

QString word(const QByteArray &answer, int position)
{
    return reply::fieldRange(asChannelReply(answer), position, position);
}

QByteArray ask(SimDevice &device, const QString &command)
{
    return device.respond(command.toUtf8() + '\n');
}

// Values that occur nowhere else in a reply, so a reader one word off cannot match by chance.
void makeDistinct(DeviceState &s)
{
    s.failDelay = 905;
    s.failHold = 1234;
    s.failLevel = 201;
    s.universe = 321;
    s.dmxAddress = 77;
    s.vexaId = 4321;
    s.vexaKey = 499;
    s.antenna = 3;
    s.power = 1;
    for (int i = 0; i < s.channels.size(); ++i)
        s.channels[i] = {QString(), 3 - (i % 3), 5 - i, 7 - i, -11 - i};
}

// The label a getRdmLabel/setRdmLabel target names: r/0 the root, p/1 the port, a.. a channel.
QString &labelOf(DeviceState &s, const QString &target)
{
    if (target == QLatin1String("r") || target == QLatin1String("0"))
        return s.rootLabel;
    if (target == QLatin1String("p") || target == QLatin1String("1"))
        return s.portLabel;
    return s.channels[target.at(0).unicode() - 'a'].label;
}

const char *const allModels[] = {"7146", "7147", "7126", "7127", "7185", "7186"};

struct Flag
{
    const char *command;
    int position;
    const char *keyword; // the substring the page tests for
    bool DeviceState::*member;
};
const Flag flags[] = {
    {"getDmxPersonality", 7, "16-bit", &DeviceState::sixteenBit},
    {"getBumpEnable", 4, "nabled", &DeviceState::bumpEnabled},
    {"getRdmTraffic", 4, "enabled", &DeviceState::rdmTraffic},
    {"getInputMode", 5, "ireless", &DeviceState::wirelessInput},
    {"getPwmConfig", 5, "1", &DeviceState::pwmOutput},
    {"get0-10Config", 5, "1", &DeviceState::zeroTenOutput},
};

} // namespace

class tst_SimInterpreter : public QObject
{
    Q_OBJECT

private slots:
    void valueWord_data();
    void valueWord();
    void flagWord_data();
    void flagWord();
    void identity_data();
    void identity();
    void labels_data();
    void labels();
    void roundTrip_data();
    void roundTrip();
    void refused_data();
    void refused();
    void answerFraming();
    void factoryDefaults_data();
    void factoryDefaults();
};

void tst_SimInterpreter::valueWord_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    const struct
    {
        const char *command;
        int position;
        const char *expected;
    } common[] = {
        {"getDataLossDelay", 7, "905"}, {"getDataLossHold", 7, "1234"},
        {"getDataLossLevel", 6, "201"}, {"getUniverse", 4, "321"},
        {"getDmxAddress", 6, "77"},     {"getVexaId", 5, "4321"},
        {"getAntenna", 4, "3"},         {"getFCPower", 5, "1"},
        {"getVexaKey", 6, "499"},
    };
    for (const char *model : {"7146", "7126", "7185"}) {
        for (const auto &row : common)
            QTest::addRow("%s %s", model, row.command)
                << model << row.command << row.position << row.expected;
    }
    // Every channel, with the values makeDistinct gives it.
    for (const char *model : {"7146", "7126"}) {
        for (int i = 0; i < (QByteArray(model) == "7146" ? 5 : 2); ++i) {
            const std::pair<const char *, int> values[] = {{"getCurve", 3 - (i % 3)},
                                                           {"getRespTime", 5 - i},
                                                           {"getModulation", 7 - i},
                                                           {"getOffset", -11 - i}};
            for (const auto &[command, value] : values)
                QTest::addRow("%s %s %c", model, command, char('a' + i))
                    << model << QStringLiteral("%1 %2").arg(command).arg(QChar('a' + i)) << 6
                    << QString::number(value);
        }
    }
}

void tst_SimInterpreter::valueWord()
{
    QFETCH(QString, model);
    QFETCH(QString, command);
    QFETCH(int, position);
    QFETCH(QString, expected);

    SimDevice device(model);
    makeDistinct(device.state());
    const QByteArray answer = ask(device, command);

    QCOMPARE(word(answer, position), expected);
    QVERIFY2(word(answer, position - 1) != expected, answer.constData());
    QVERIFY2(word(answer, position + 1) != expected, answer.constData());
    QVERIFY2(answer.endsWith("\r\n" + device.prompt().toLatin1()), answer.constData());
}

void tst_SimInterpreter::flagWord_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("flag");
    for (const char *model : {"7146", "7126", "7185"}) {
        const bool receiver = QByteArray(model) == "7185";
        for (int i = 0; i < int(std::size(flags)); ++i) {
            // Personality and bump exist on dimmers only, the two outputs on receivers only.
            if (i < 2 ? !receiver : (i < 4 || receiver))
                QTest::addRow("%s %s", model, flags[i].command) << model << i;
        }
    }
}

void tst_SimInterpreter::flagWord()
{
    QFETCH(QString, model);
    QFETCH(int, flag);
    const Flag &f = flags[flag];
    const QString set = QLatin1Char('s') + QString::fromLatin1(f.command).mid(1);

    SimDevice device(model);
    QVERIFY(!ask(device, set + QLatin1String(" 1")).contains("ERROR"));
    QVERIFY(device.state().*f.member);
    const QByteArray on = ask(device, f.command);
    QVERIFY(!ask(device, set + QLatin1String(" 0")).contains("ERROR"));
    QVERIFY(!(device.state().*f.member));
    const QByteArray off = ask(device, f.command);

    QVERIFY2(word(on, f.position).contains(f.keyword), on.constData());
    QVERIFY2(!word(off, f.position).contains(f.keyword), off.constData());
    // Both states must fill the value word: an empty word there reads as "off" by accident.
    QVERIFY2(!word(off, f.position).isEmpty() && !word(off, f.position).endsWith(':'),
             off.constData());
}

void tst_SimInterpreter::identity_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QVector<int>>("words"); // software, boot; UID, radio software, radio boot

    for (const char *model : allModels) {
        if (QByteArray(model).startsWith("718"))
            QTest::newRow(model) << model << QVector<int>{13, 16, 21, 23, 26};
        else
            QTest::newRow(model) << model << QVector<int>{11, 14, 24, 26, 29};
    }
}

void tst_SimInterpreter::identity()
{
    QFETCH(QString, model);
    QFETCH(QVector<int>, words);

    SimDevice device(model);
    const QByteArray info = ask(device, QStringLiteral("getFWInfo"));
    const QByteArray radio = ask(device, QStringLiteral("getFCConfig"));

    QString reported;
    QVERIFY(reply::modelFromFirmwareInfo(asChannelReply(info), reported));
    QCOMPARE(reported, model);
    QCOMPARE(word(info, 8), QStringLiteral("Model:"));
    QCOMPARE(word(info, 9), model);

    const QRegularExpression version(QStringLiteral("^[0-9]+\\.[0-9]+\\.[0-9]+$"));
    for (const auto &[answer, position] : {std::pair<QByteArray, int>{info, words[0]},
                                           {info, words[1]},
                                           {radio, words[3]},
                                           {radio, words[4]}}) {
        QVERIFY2(version.match(word(answer, position)).hasMatch(),
                 qPrintable(QStringLiteral("word %1 of %2").arg(position).arg(QString(answer))));
    }
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{12}$"))
                 .match(word(radio, words[2]))
                 .hasMatch(),
             radio.constData());
}

void tst_SimInterpreter::labels_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("label");

    QTest::newRow("dimmer root, blanks kept") << "7146"
                                              << "r"
                                              << "Front  Truss 2";
    QTest::newRow("dimmer port, apostrophe inside") << "7146"
                                                    << "p"
                                                    << "Bob's port";
    QTest::newRow("dimmer channel e") << "7146"
                                      << "e"
                                      << "Cyc wash";
    QTest::newRow("two-channel b, non-ASCII") << "7126"
                                              << "b" << QStringLiteral("B\u00fchne links");
    QTest::newRow("double quote inside") << "7126"
                                         << "a"
                                         << "say \"hi\"";
    QTest::newRow("empty label") << "7127"
                                 << "r"
                                 << "";
    QTest::newRow("receiver root 0") << "7185"
                                     << "0"
                                     << "Balcony rx";
    QTest::newRow("receiver port 1") << "7186"
                                     << "1"
                                     << "Input";
    QTest::newRow("64 bytes fit") << "7146"
                                  << "r" << QString(32, QChar(0xfc));
}

void tst_SimInterpreter::labels()
{
    QFETCH(QString, model);
    QFETCH(QString, target);
    QFETCH(QString, label);

    SimDevice device(model);
    DeviceState expected = device.state();
    labelOf(expected, target) = label;
    const QByteArray set = ask(device, QStringLiteral("setRdmLabel %1 \"%2\"").arg(target, label));
    QVERIFY2(!set.contains("ERROR"), set.constData());
    // Exactly the named label changed, and nothing else.
    QVERIFY(device.state() == expected);

    // Receiver cards quote the label one word earlier than dimmers.
    const int firstWord = target.at(0).isDigit() ? 6 : 7;
    const QString get = asChannelReply(ask(device, QStringLiteral("getRdmLabel %1").arg(target)));
    QCOMPARE(reply::quoted(reply::fieldRange(get, firstWord, 65535), QStringLiteral("'")), label);
}

void tst_SimInterpreter::roundTrip_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("set");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    const struct
    {
        const char *name, *model, *set;
        int position;
        const char *expected;
    } rows[] = {
        {"delay lowest", "7146", "setDataLossDelay 0", 7, "0"},
        {"delay infinite", "7185", "setDataLossDelay 65535", 7, "65535"},
        {"hold", "7126", "setDataLossHold 905", 7, "905"},
        {"level highest", "7146", "setDataLossLevel 255", 6, "255"},
        {"universe", "7185", "setUniverse 300", 4, "300"},
        {"universe leading zeros", "7146", "setUniverse 007", 4, "7"},
        {"extra blanks", "7146", "  setUniverse   12  ", 4, "12"},
        {"address highest", "7126", "setDmxAddress 512", 6, "512"},
        {"curve c", "7146", "setCurve c 3", 6, "3"},
        {"resp time e", "7146", "setRespTime e 5", 6, "5"},
        {"modulation b", "7126", "setModulation b 7", 6, "7"},
        {"offset lowest", "7127", "setOffset b -100", 6, "-100"},
        {"vexa id", "7185", "setVexaId 65535", 5, "65535"},
        {"vexa key highest", "7146", "setVexaKey 500", 6, "500"},
        {"antenna yagi", "7185", "setAntenna 3", 4, "3"},
        {"power max", "7126", "setFCPower 3", 5, "3"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << r.model << r.set << r.position << r.expected;
}

void tst_SimInterpreter::roundTrip()
{
    QFETCH(QString, model);
    QFETCH(QString, set);
    QFETCH(int, position);
    QFETCH(QString, expected);

    SimDevice device(model);
    const QByteArray setAnswer = ask(device, set);
    QVERIFY2(!setAnswer.contains("ERROR"), setAnswer.constData());
    // The matching get: same name, without the value.
    QStringList words = set.simplified().split(QLatin1Char(' '));
    words.removeLast();
    words[0].replace(0, 1, QLatin1Char('g'));
    QCOMPARE(word(ask(device, words.join(QLatin1Char(' '))), position), expected);
}

void tst_SimInterpreter::refused_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("command");

    const QString tooLong = QString(65, QLatin1Char('x'));
    const QString tooLongUtf8 = QString(33, QChar(0xfc)); // 66 bytes
    const QStringList commands[] = {
        // Out of range, at both ends.
        {"7146", "setDmxAddress 0", "setDmxAddress 513", "setDataLossDelay 65536",
         "setDataLossDelay -1", "setDataLossLevel 256", "setCurve a 4", "setRespTime a 6",
         "setOffset a 101", "setVexaKey 501", "setDmxPersonality 2", "setUniverse 99999999999"},
        {"7185", "setUniverse 0", "setAntenna 4", "setFCPower -1"},
        {"7126", "setDataLossHold 70000", "setModulation b 8"},
        // Not a decimal integer, missing or extra words, unknown words, wrong case.
        {"7146", "setUniverse abc", "setUniverse 3x", "setUniverse +3", "setVexaId 0x10",
         "setUniverse", "setOffset a ", "setUniverse 1 2", "setCurve", "setCurve 1 2",
         "setCurve A 2", "setUserDefaults now", "setColour 3", "SETUNIVERSE 3", "getUniverse 1"},
        // Labels: quoting, length in UTF-8 bytes, targets.
        {"7146", "setRdmLabel r Stage", "setRdmLabel r \"Stage",
         QStringLiteral("setRdmLabel r \"%1\"").arg(tooLong),
         QStringLiteral("setRdmLabel p \"%1\"").arg(tooLongUtf8), "setRdmLabel q \"x\"",
         "setRdmLabel r \"x\" y", "setRdmLabel \"x\"", "setRdmLabel 0 \"x\"", "setPwmConfig 0",
         "getPwmConfig", "setOffset f 1"},
        // Commands of another family, or a channel the model lacks.
        {"7185", "setCurve a 1", "setBumpEnable 1", "setRdmLabel r \"x\"", "getCurve a"},
        {"7186", "setDmxPersonality 1"},
        {"7127", "set0-10Config 0", "setRdmLabel c \"x\""},
        {"7126", "setCurve c 1", "getRdmLabel c"},
    };
    for (const QStringList &group : commands) {
        for (int i = 1; i < group.size(); ++i)
            QTest::addRow("%s %s", qPrintable(group[0]), qPrintable(group[i].left(40)))
                << group[0] << group[i];
    }
}

void tst_SimInterpreter::refused()
{
    QFETCH(QString, model);
    QFETCH(QString, command);

    SimDevice device(model);
    makeDistinct(device.state());
    const DeviceState before = device.state();
    const QByteArray answer = ask(device, command);

    QVERIFY2(answer.contains("\r\nERROR: "), answer.constData());
    QVERIFY2(answer.endsWith("\r\n" + device.prompt().toLatin1()), answer.constData());
    QVERIFY(device.state() == before);
}

void tst_SimInterpreter::answerFraming()
{
    SimDevice dimmer(QStringLiteral("7146"));
    QCOMPARE(dimmer.respond("\n"), QByteArray("\r\n714x:"));
    QCOMPARE(dimmer.respond("getUniverse\n"),
             QByteArray("getUniverse\r\nDMX universe is 1\r\n714x:"));
    // A terminal that ends lines with CR LF gets the same answer.
    QCOMPARE(dimmer.respond("getUniverse\r\n"), dimmer.respond("getUniverse\n"));
    QCOMPARE(SimDevice(QStringLiteral("7127")).respond("\n"), QByteArray("\r\n712x:"));
    QCOMPARE(SimDevice(QStringLiteral("7186")).respond("\n"), QByteArray("\r\n718x:"));
    QVERIFY(!SimDevice::isKnownModel(QStringLiteral("7145")));
    QVERIFY(SimDevice::isKnownModel(QStringLiteral("7186")));
}

void tst_SimInterpreter::factoryDefaults_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("channels");
    for (const char *model : allModels)
        QTest::newRow(model) << model << (model[2] == '4' ? 5 : model[2] == '2' ? 2 : 0);
}

void tst_SimInterpreter::factoryDefaults()
{
    QFETCH(QString, model);
    QFETCH(int, channels);

    SimDevice device(model);
    QCOMPARE(device.state().channels.size(), channels);
    QVERIFY(device.state() == device.factoryDefaults());
    QCOMPARE(word(ask(device, QStringLiteral("getDataLossDelay")), 7), QStringLiteral("50"));
    QCOMPARE(word(ask(device, QStringLiteral("getDataLossHold")), 7), QStringLiteral("65535"));
    QCOMPARE(word(ask(device, QStringLiteral("getDmxAddress")), 6), QStringLiteral("1"));
    QCOMPARE(word(ask(device, QStringLiteral("getFCPower")), 5), QStringLiteral("2"));

    makeDistinct(device.state());
    ask(device, QStringLiteral("setRdmLabel %1 \"renamed\"").arg(channels ? "r" : "0"));
    ask(device, QStringLiteral("setRdmTraffic 1"));
    QVERIFY(device.state() != device.factoryDefaults());
    const QByteArray answer = ask(device, QStringLiteral("setUserDefaults"));
    QVERIFY2(!answer.contains("ERROR"), answer.constData());
    QVERIFY(device.state() == device.factoryDefaults());
}

QTEST_APPLESS_MAIN(tst_SimInterpreter)
#include "tst_sim_interpreter.moc"
