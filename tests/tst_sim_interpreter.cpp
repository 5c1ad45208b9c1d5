// The simulated device's command language: where each value stands in a reply, what every set
// command accepts, and that a refused command changes nothing. Replies are read the way the
// program reads them (line breaks to blanks, then the shared word-position helpers), so these
// rows pin the positions the pages rely on.
#include "core/SimDevice.h"
#include "link/ReplyParsing.h"

#include <QtTest>

using sim::DeviceState;
using sim::SimDevice;

Q_DECLARE_METATYPE(std::function<void(sim::DeviceState &, bool)>)
Q_DECLARE_METATYPE(std::function<QString(const sim::DeviceState &)>)

namespace {

QString asChannelReply(const QByteArray &answer)
{
    QString text = QString::fromUtf8(answer);
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QString word(const QByteArray &answer, int position)
{
    return reply::fieldRange(asChannelReply(answer), position, position);
}

QString quotedFrom(const QByteArray &answer, int position)
{
    return reply::quoted(reply::fieldRange(asChannelReply(answer), position, 65535),
                         QStringLiteral("'"));
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
    for (int i = 0; i < s.channels.size(); ++i) {
        s.channels[i].curve = 3 - (i % 3);
        s.channels[i].respTime = 5 - i;
        s.channels[i].modulation = 7 - i;
        s.channels[i].offset = -11 - i;
    }
}

const char *const allModels[] = {"7146", "7147", "7126", "7127", "7185", "7186"};

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

    struct Row
    {
        const char *command;
        int position;
        const char *expected;
    };
    const Row common[] = {
        {"getDataLossDelay", 7, "905"}, {"getDataLossHold", 7, "1234"},
        {"getDataLossLevel", 6, "201"}, {"getUniverse", 4, "321"},
        {"getDmxAddress", 6, "77"},     {"getVexaId", 5, "4321"},
        {"getAntenna", 4, "3"},         {"getFCPower", 5, "1"},
        {"getVexaKey", 6, "499"},
    };
    for (const char *model : {"7146", "7126", "7185"}) {
        for (const Row &row : common)
            QTest::addRow("%s %s", model, row.command)
                << model << row.command << row.position << row.expected;
    }
    // Per channel; the expected values follow makeDistinct.
    for (const char *model : {"7146", "7126"}) {
        const int count = QByteArray(model) == "7146" ? 5 : 2;
        for (int i = 0; i < count; ++i) {
            const QChar c('a' + i);
            const auto add = [&](const char *command, int value) {
                QTest::addRow("%s %s %c", model, command, char('a' + i))
                    << model << QStringLiteral("%1 %2").arg(QLatin1String(command)).arg(c) << 6
                    << QString::number(value);
            };
            add("getCurve", 3 - (i % 3));
            add("getRespTime", 5 - i);
            add("getModulation", 7 - i);
            add("getOffset", -11 - i);
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
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("keyword"); // the substring the page tests for
    QTest::addColumn<std::function<void(DeviceState &, bool)>>("setFlag");

    using Setter = std::function<void(DeviceState &, bool)>;
    const Setter personality = [](DeviceState &s, bool on) { s.sixteenBit = on; };
    const Setter rdm = [](DeviceState &s, bool on) { s.rdmTraffic = on; };
    const Setter bump = [](DeviceState &s, bool on) { s.bumpEnabled = on; };
    const Setter input = [](DeviceState &s, bool on) { s.wirelessInput = on; };
    const Setter pwm = [](DeviceState &s, bool on) { s.pwmOutput = on; };
    const Setter zeroTen = [](DeviceState &s, bool on) { s.zeroTenOutput = on; };

    for (const char *model : {"7146", "7126"}) {
        QTest::addRow("%s personality", model)
            << model << "getDmxPersonality" << 7 << "16-bit" << personality;
        QTest::addRow("%s bump", model) << model << "getBumpEnable" << 4 << "nabled" << bump;
    }
    for (const char *model : {"7146", "7126", "7185"}) {
        QTest::addRow("%s rdm traffic", model) << model << "getRdmTraffic" << 4 << "enabled" << rdm;
        QTest::addRow("%s input mode", model) << model << "getInputMode" << 5 << "ireless" << input;
    }
    QTest::newRow("7185 pwm") << "7185"
                              << "getPwmConfig" << 5 << "1" << pwm;
    QTest::newRow("7185 0-10V") << "7185"
                                << "get0-10Config" << 5 << "1" << zeroTen;
}

void tst_SimInterpreter::flagWord()
{
    QFETCH(QString, model);
    QFETCH(QString, command);
    QFETCH(int, position);
    QFETCH(QString, keyword);
    QFETCH(std::function<void(DeviceState &, bool)>, setFlag);

    SimDevice device(model);
    setFlag(device.state(), true);
    const QByteArray on = ask(device, command);
    setFlag(device.state(), false);
    const QByteArray off = ask(device, command);

    QVERIFY2(word(on, position).contains(keyword), on.constData());
    QVERIFY2(!word(off, position).contains(keyword), off.constData());
    // Both states must fill the value word: an empty word there reads as "off" by accident.
    QVERIFY2(!word(off, position).isEmpty() && !word(off, position).endsWith(':'), off.constData());
}

void tst_SimInterpreter::identity_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("softwareWord");
    QTest::addColumn<int>("bootWord");
    QTest::addColumn<int>("uidWord");
    QTest::addColumn<int>("radioSoftwareWord");
    QTest::addColumn<int>("radioBootWord");

    for (const char *model : allModels) {
        const bool receiver = QByteArray(model).startsWith("718");
        if (receiver)
            QTest::newRow(model) << model << 13 << 16 << 21 << 23 << 26;
        else
            QTest::newRow(model) << model << 11 << 14 << 24 << 26 << 29;
    }
}

void tst_SimInterpreter::identity()
{
    QFETCH(QString, model);
    QFETCH(int, softwareWord);
    QFETCH(int, bootWord);
    QFETCH(int, uidWord);
    QFETCH(int, radioSoftwareWord);
    QFETCH(int, radioBootWord);

    SimDevice device(model);
    const QByteArray info = ask(device, QStringLiteral("getFWInfo"));
    const QByteArray radio = ask(device, QStringLiteral("getFCConfig"));

    QString reported;
    QVERIFY(reply::modelFromFirmwareInfo(asChannelReply(info), reported));
    QCOMPARE(reported, model);
    QCOMPARE(word(info, 8), QStringLiteral("Model:"));
    QCOMPARE(word(info, 9), model);

    const QRegularExpression version(QStringLiteral("^[0-9]+\\.[0-9]+\\.[0-9]+$"));
    for (const auto &[answer, position] : {std::pair<QByteArray, int>{info, softwareWord},
                                           {info, bootWord},
                                           {radio, radioSoftwareWord},
                                           {radio, radioBootWord}}) {
        QVERIFY2(version.match(word(answer, position)).hasMatch(),
                 qPrintable(QStringLiteral("word %1 of %2").arg(position).arg(QString(answer))));
    }
    QVERIFY2(
        QRegularExpression(QStringLiteral("^[0-9A-F]{12}$")).match(word(radio, uidWord)).hasMatch(),
        radio.constData());
}

void tst_SimInterpreter::labels_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("firstWord");
    QTest::addColumn<QString>("label");
    QTest::addColumn<std::function<QString(const DeviceState &)>>("stored");

    using Get = std::function<QString(const DeviceState &)>;
    const Get root = [](const DeviceState &s) { return s.rootLabel; };
    const Get port = [](const DeviceState &s) { return s.portLabel; };
    const auto channel = [](int i) {
        return Get([i](const DeviceState &s) { return s.channels.at(i).label; });
    };

    QTest::newRow("dimmer root, blanks kept") << "7146"
                                              << "r" << 7 << "Front  Truss 2" << root;
    QTest::newRow("dimmer port, apostrophe inside") << "7146"
                                                    << "p" << 7 << "Bob's port" << port;
    QTest::newRow("dimmer channel e") << "7146"
                                      << "e" << 7 << "Cyc wash" << channel(4);
    QTest::newRow("two-channel channel b, non-ASCII")
        << "7126"
        << "b" << 7 << QStringLiteral("B\u00fchne links") << channel(1);
    QTest::newRow("double quote inside") << "7126"
                                         << "a" << 7 << "say \"hi\"" << channel(0);
    QTest::newRow("empty label") << "7127"
                                 << "r" << 7 << "" << root;
    QTest::newRow("receiver root 0") << "7185"
                                     << "0" << 6 << "Balcony rx" << root;
    QTest::newRow("receiver port 1") << "7186"
                                     << "1" << 6 << "Input" << port;
    QTest::newRow("64 bytes fit") << "7146"
                                  << "r" << 7 << QString(32, QChar(0xfc)) << root;
}

void tst_SimInterpreter::labels()
{
    QFETCH(QString, model);
    QFETCH(QString, target);
    QFETCH(int, firstWord);
    QFETCH(QString, label);
    QFETCH(std::function<QString(const DeviceState &)>, stored);

    SimDevice device(model);
    const DeviceState before = device.state();
    const QByteArray set = ask(device, QStringLiteral("setRdmLabel %1 \"%2\"").arg(target, label));
    QVERIFY2(!set.contains("ERROR"), set.constData());
    QCOMPARE(stored(device.state()), label);

    const QByteArray get = ask(device, QStringLiteral("getRdmLabel %1").arg(target));
    QCOMPARE(quotedFrom(get, firstWord), label);

    // Exactly the named label changed, and nothing else.
    DeviceState after = device.state();
    int changed =
        int(after.rootLabel != before.rootLabel) + int(after.portLabel != before.portLabel);
    for (int i = 0; i < before.channels.size(); ++i)
        changed += int(after.channels.at(i).label != before.channels.at(i).label);
    QCOMPARE(changed, 1);
    after.rootLabel = before.rootLabel;
    after.portLabel = before.portLabel;
    for (int i = 0; i < before.channels.size(); ++i)
        after.channels[i].label = before.channels.at(i).label;
    QVERIFY(after == before);
}

void tst_SimInterpreter::roundTrip_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("get");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    QTest::newRow("delay lowest") << "7146"
                                  << "setDataLossDelay 0"
                                  << "getDataLossDelay" << 7 << "0";
    QTest::newRow("delay infinite") << "7185"
                                    << "setDataLossDelay 65535"
                                    << "getDataLossDelay" << 7 << "65535";
    QTest::newRow("hold") << "7126"
                          << "setDataLossHold 905"
                          << "getDataLossHold" << 7 << "905";
    QTest::newRow("level highest") << "7146"
                                   << "setDataLossLevel 255"
                                   << "getDataLossLevel" << 6 << "255";
    QTest::newRow("universe") << "7185"
                              << "setUniverse 300"
                              << "getUniverse" << 4 << "300";
    QTest::newRow("universe leading zeros") << "7146"
                                            << "setUniverse 007"
                                            << "getUniverse" << 4 << "7";
    QTest::newRow("address highest") << "7126"
                                     << "setDmxAddress 512"
                                     << "getDmxAddress" << 6 << "512";
    QTest::newRow("16-bit") << "7146"
                            << "setDmxPersonality 1"
                            << "getDmxPersonality" << 7 << "16-bit";
    QTest::newRow("rdm on") << "7185"
                            << "setRdmTraffic 1"
                            << "getRdmTraffic" << 4 << "enabled";
    QTest::newRow("curve c") << "7146"
                             << "setCurve c 3"
                             << "getCurve c" << 6 << "3";
    QTest::newRow("resp time e") << "7146"
                                 << "setRespTime e 5"
                                 << "getRespTime e" << 6 << "5";
    QTest::newRow("modulation b") << "7126"
                                  << "setModulation b 7"
                                  << "getModulation b" << 6 << "7";
    QTest::newRow("offset negative") << "7146"
                                     << "setOffset a -5"
                                     << "getOffset a" << 6 << "-5";
    QTest::newRow("offset lowest") << "7127"
                                   << "setOffset b -100"
                                   << "getOffset b" << 6 << "-100";
    QTest::newRow("bump on") << "7126"
                             << "setBumpEnable 1"
                             << "getBumpEnable" << 4 << "enabled";
    QTest::newRow("wireless") << "7146"
                              << "setInputMode 1"
                              << "getInputMode" << 5 << "Wireless";
    QTest::newRow("vexa id") << "7185"
                             << "setVexaId 65535"
                             << "getVexaId" << 5 << "65535";
    QTest::newRow("vexa key highest") << "7146"
                                      << "setVexaKey 500"
                                      << "getVexaKey" << 6 << "500";
    QTest::newRow("antenna yagi") << "7185"
                                  << "setAntenna 3"
                                  << "getAntenna" << 4 << "3";
    QTest::newRow("power max") << "7126"
                               << "setFCPower 3"
                               << "getFCPower" << 5 << "3";
    QTest::newRow("pwm off") << "7185"
                             << "setPwmConfig 0"
                             << "getPwmConfig" << 5 << "0";
    QTest::newRow("0-10V off") << "7186"
                               << "set0-10Config 0"
                               << "get0-10Config" << 5 << "0";
    QTest::newRow("extra blanks") << "7146"
                                  << "  setUniverse   12  "
                                  << "getUniverse" << 4 << "12";
}

void tst_SimInterpreter::roundTrip()
{
    QFETCH(QString, model);
    QFETCH(QString, set);
    QFETCH(QString, get);
    QFETCH(int, position);
    QFETCH(QString, expected);

    SimDevice device(model);
    const QByteArray setAnswer = ask(device, set);
    QVERIFY2(!setAnswer.contains("ERROR"), setAnswer.constData());
    QCOMPARE(word(ask(device, get), position), expected);
}

void tst_SimInterpreter::refused_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("command");

    const QString tooLong = QString(65, QLatin1Char('x'));
    const QString tooLongUtf8 = QString(33, QChar(0xfc)); // 66 bytes

    // Out of range, at both ends.
    QTest::newRow("address 0") << "7146"
                               << "setDmxAddress 0";
    QTest::newRow("address 513") << "7146"
                                 << "setDmxAddress 513";
    QTest::newRow("universe 0") << "7185"
                                << "setUniverse 0";
    QTest::newRow("delay 65536") << "7146"
                                 << "setDataLossDelay 65536";
    QTest::newRow("delay -1") << "7146"
                              << "setDataLossDelay -1";
    QTest::newRow("hold 70000") << "7126"
                                << "setDataLossHold 70000";
    QTest::newRow("level 256") << "7146"
                               << "setDataLossLevel 256";
    QTest::newRow("curve 4") << "7146"
                             << "setCurve a 4";
    QTest::newRow("resp time 6") << "7146"
                                 << "setRespTime a 6";
    QTest::newRow("modulation 8") << "7126"
                                  << "setModulation b 8";
    QTest::newRow("offset 101") << "7146"
                                << "setOffset a 101";
    QTest::newRow("vexa key 501") << "7146"
                                  << "setVexaKey 501";
    QTest::newRow("antenna 4") << "7185"
                               << "setAntenna 4";
    QTest::newRow("power -1") << "7185"
                              << "setFCPower -1";
    QTest::newRow("personality 2") << "7146"
                                   << "setDmxPersonality 2";
    QTest::newRow("huge number") << "7146"
                                 << "setUniverse 99999999999";
    // Not a decimal integer, or missing / extra words.
    QTest::newRow("letters") << "7146"
                             << "setUniverse abc";
    QTest::newRow("trailing letters") << "7146"
                                      << "setUniverse 3x";
    QTest::newRow("plus sign") << "7146"
                               << "setUniverse +3";
    QTest::newRow("hex") << "7146"
                         << "setVexaId 0x10";
    QTest::newRow("missing value") << "7146"
                                   << "setUniverse";
    QTest::newRow("empty offset") << "7146"
                                  << "setOffset a ";
    QTest::newRow("two values") << "7146"
                                << "setUniverse 1 2";
    QTest::newRow("missing channel") << "7146"
                                     << "setCurve";
    QTest::newRow("channel as number") << "7146"
                                       << "setCurve 1 2";
    QTest::newRow("upper-case channel") << "7146"
                                        << "setCurve A 2";
    QTest::newRow("defaults with argument") << "7146"
                                            << "setUserDefaults now";
    // Labels.
    QTest::newRow("label without quotes") << "7146"
                                          << "setRdmLabel r Stage";
    QTest::newRow("label with one quote") << "7146"
                                          << "setRdmLabel r \"Stage";
    QTest::newRow("label 65 bytes")
        << "7146" << QStringLiteral("setRdmLabel r \"%1\"").arg(tooLong);
    QTest::newRow("label 66 UTF-8 bytes")
        << "7146" << QStringLiteral("setRdmLabel p \"%1\"").arg(tooLongUtf8);
    QTest::newRow("label unknown target") << "7146"
                                          << "setRdmLabel q \"x\"";
    QTest::newRow("label text after quotes") << "7146"
                                             << "setRdmLabel r \"x\" y";
    QTest::newRow("label target missing") << "7146"
                                          << "setRdmLabel \"x\"";
    // Commands of another family or channel the model lacks.
    QTest::newRow("receiver curve") << "7185"
                                    << "setCurve a 1";
    QTest::newRow("receiver bump") << "7185"
                                   << "setBumpEnable 1";
    QTest::newRow("receiver personality") << "7186"
                                          << "setDmxPersonality 1";
    QTest::newRow("receiver dimmer label target") << "7185"
                                                  << "setRdmLabel r \"x\"";
    QTest::newRow("dimmer receiver label target") << "7146"
                                                  << "setRdmLabel 0 \"x\"";
    QTest::newRow("dimmer pwm") << "7146"
                                << "setPwmConfig 0";
    QTest::newRow("dimmer 0-10V") << "7127"
                                  << "set0-10Config 0";
    QTest::newRow("two-channel channel c") << "7126"
                                           << "setCurve c 1";
    QTest::newRow("two-channel label c") << "7127"
                                         << "setRdmLabel c \"x\"";
    QTest::newRow("five-channel channel f") << "7147"
                                            << "setOffset f 1";
    // Unknown words, including a get that does not exist and wrong case.
    QTest::newRow("unknown") << "7146"
                             << "setColour 3";
    QTest::newRow("wrong case") << "7146"
                                << "SETUNIVERSE 3";
    QTest::newRow("get on receiver curve") << "7185"
                                           << "getCurve a";
    QTest::newRow("get pwm on dimmer") << "7146"
                                       << "getPwmConfig";
    QTest::newRow("get label bad target") << "7126"
                                          << "getRdmLabel c";
    QTest::newRow("get with extra word") << "7146"
                                         << "getUniverse 1";
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

    SimDevice twoChannel(QStringLiteral("7127"));
    QCOMPARE(twoChannel.respond("\n"), QByteArray("\r\n712x:"));
    SimDevice receiver(QStringLiteral("7186"));
    QCOMPARE(receiver.respond("\n"), QByteArray("\r\n718x:"));
    QVERIFY(!SimDevice::isKnownModel(QStringLiteral("7145")));
    QVERIFY(SimDevice::isKnownModel(QStringLiteral("7186")));
}

void tst_SimInterpreter::factoryDefaults_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("channels");
    for (const char *model : allModels)
        QTest::newRow(model) << model
                             << (QByteArray(model).startsWith("714")   ? 5
                                 : QByteArray(model).startsWith("712") ? 2
                                                                       : 0);
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
