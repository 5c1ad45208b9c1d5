// The device link without any window: the settings table against the simulated units (every key
// of every family, then the edge cases of reading and the value rules), the session's ways to
// fail, and the user-text rule.

#include "link/DeviceSession.h"
#include "link/SettingsIO.h"
#include "support/Rig.h"

#include <QtTest>

#include <map>

using settings::Setting;

namespace {

// Two units of one model, seeded 1 and 2, kept for all the rows of the model.
struct Pair
{
    explicit Pair(const QString &model) : one(model), two(model) { two.server.setSeed(2); }
    Unit one;
    Unit two;
};

} // namespace

class TestLinkSettings : public QObject
{
    Q_OBJECT

private slots:
    // One row per key of each family, generated from the table, and a last row per family. Each row
    // takes the value unit 1 holds and writes it to unit 2 the way the tools write.
    void everyKey_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("key"); // empty: all keys written, compare the units
        for (const char *model : {"7146", "7126", "7185"}) {
            for (const Setting &s : settings::forFamily(catalogue::find(model)->family))
                QTest::addRow("%s %s", model, qPrintable(s.key)) << model << s.key;
            QTest::addRow("%s all keys", model) << model << QString();
        }
    }

    void everyKey()
    {
        QFETCH(QString, model);
        QFETCH(QString, key);
        std::unique_ptr<Pair> &pair = m_pairs[model];
        if (!pair)
            pair = std::make_unique<Pair>(model);
        QVERIFY(pair->one.ready && pair->two.ready);
        if (key.isEmpty()) {
            // Unit 2 now holds unit 1's state, but for what the family has no key for.
            const sim::DeviceState two = pair->two.server.state();
            sim::DeviceState expected = pair->one.server.state();
            if (catalogue::find(model)->family == Family::Receiver) {
                expected.sixteenBit = two.sixteenBit;
                expected.bumpEnabled = two.bumpEnabled;
                expected.wirelessInput = two.wirelessInput;
            } else {
                expected.pwmOutput = two.pwmOutput;
                expected.zeroTenOutput = two.zeroTenOutput;
            }
            QVERIFY(two == expected);
            return;
        }
        const Setting &s = *settings::find(catalogue::find(model)->family, key);
        const settings::Reading one = settings::read(pair->one.serial, s);
        const settings::Reading two = settings::read(pair->two.serial, s);
        QVERIFY2(one.sent && one.value && two.value, qPrintable(one.words));
        const settings::Value value = *one.value;
        if (key == "identity.model" || key == "identity.uid")
            QCOMPARE(value.toString(), key.endsWith("uid") ? pair->one.server.uid() : model);
        // The forms a person and a file use read back as the value.
        QString why;
        QVERIFY(settings::sameValue(s, *settings::fromText(s, settings::toText(s, value), &why),
                                    value));
        QVERIFY(settings::sameValue(s, *settings::fromJson(s, settings::toJson(s, value), &why),
                                    value));

        pair->two.server.clearLog();
        const settings::WriteResult written = settings::write(pair->two.serial, s, value);
        if (s.isReadOnly()) {
            QVERIFY(!written.refused.isEmpty() && pair->two.log().isEmpty());
            return;
        }
        // The seeds differ in every writable key: a write that did nothing is caught.
        QVERIFY(!settings::sameValue(s, value, *two.value));
        QVERIFY2(written.refused.isEmpty(), qPrintable(written.refused));
        QVERIFY(written.after.value && settings::sameValue(s, *written.after.value, value));
        QCOMPARE(pair->two.log(),
                 QStringList({settings::setCommand(s, settings::argument(s, value)).trimmed(),
                              s.queries.first().command.trimmed()}));
    }

    // A read whose query is answered with the given line between its echo and the prompt.
    void reading_data()
    {
        QTest::addColumn<QString>("where"); // model, key, the query answered ("closed": none sent)
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("words"); // "*": not checked
        QTest::addColumn<QString>("value"); // as text; "none"
        const auto row = [](const char *tag, const char *where, const char *answer,
                            const char *words, const char *value) {
            QTest::newRow(tag) << where << answer << words << value;
        };
        row("closed channel", "7146|dmx.universe|closed", "", "", "none");
        row("no number", "7146|dmx.universe|getUniverse", "DMX universe is 12abc", "12abc", "none");
        row("label without quotes", "7146|device.label|getRdmLabel r",
            "RDM label of root device: Stage", "Stage  714x:", "none");
        row("quotes inside a label", "7185|device.label|getRdmLabel 0",
            "RDM label of device: 'it's mine'", "it's mine", "it's mine");
        row("marker anywhere in the word", "7146|wireless.input_mode|getInputMode",
            "DMX input mode is xirelessy", "*", "wireless");
        row("flag: a 1 anywhere", "7185|outputs.pwm|getPwmConfig", "PWM output switch state: ON1",
            "*", "true");
        row("time infinite", "7126|failmode.hold|getDataLossHold",
            "DMX loss hold of fail level: 65535", "*", "infinite");
        row("time negative", "7126|failmode.delay|getDataLossDelay",
            "DMX loss delay before fail level: -1", "*", "none");
        row("version's second part missing", "7146|identity.software|getFCConfig", "short",
            "2.4.1, ", "none");
    }

    void reading()
    {
        QFETCH(QString, where);
        QFETCH(QString, answer);
        QFETCH(QString, words);
        QFETCH(QString, value);
        const QStringList parts = where.split('|');
        Unit unit(parts[0]);
        QVERIFY(unit.ready);
        if (parts[2] == "closed")
            unit.serial.close();
        const QByteArray line =
            ((answer.isEmpty() ? "" : answer + "\r\n") + getModelPrefix(parts[0])).toUtf8();
        unit.server.setReplyOverride([=](const QByteArray &command) {
            return command == parts[2] ? std::optional<QByteArray>(command + "\r\n" + line)
                                       : std::nullopt;
        });
        const Setting &s = *settings::find(catalogue::find(parts[0])->family, parts[1]);
        const settings::Reading reading = settings::read(unit.serial, s);
        QCOMPARE(reading.sent, parts[2] != "closed");
        QCOMPARE(words == "*" ? words : reading.words, words);
        QCOMPARE(reading.value ? settings::toText(s, *reading.value) : "none", value);
        QCOMPARE(unit.serial.isOpen(), reading.sent);
    }

    // With b: whether a and b are the same value of the key. Without: whether a may be written.
    void valueRules_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("a");
        QTest::addColumn<QVariant>("b");
        QTest::addColumn<bool>("expected");
        const auto row = [](const char *tag, const char *key, const QVariant &a, const QVariant &b,
                            bool expected) { QTest::newRow(tag) << key << a << b << expected; };
        const QVariant none;
        row("label with a line break", "device.label", "a\nb", none, false);
        row("label with DEL", "device.label", "a\x7f", none, false);
        row("label with a C1 control (U+0085)", "device.label", "a\u0085", none, false);
        row("label with half a surrogate pair", "device.label", QString(QChar(0xd800)), none,
            false);
        row("label with a whole surrogate pair", "device.label", "\U0001F3AD", none, true);
        // setRdmLabel r "..." and its line break leave 238 of the buffer's 255 bytes.
        row("label filling the buffer", "device.label", QString(238, 'x'), none, true);
        row("label one past the buffer", "device.label", QString(239, 'x'), none, false);
        row("level of ten characters", "failmode.level", "1234567890", none, true);
        row("level of eleven characters", "failmode.level", "12345678901", none, false);
        row("curve past the table", "channel.a.curve", 4, none, false);
        row("time past infinite", "failmode.delay", 65536, none, false);
        row("flag given as a number", "dmx.rdm_traffic", 1, none, false);
        row("read-only key", "identity.model", "7146", none, false);
        row("numbers numerically", "dmx.universe", 5LL, "05", true);
        row("text byte for byte", "device.label", "\u00e9", "e\u0301", false);
        row("text with its case", "device.label", "stage", "Stage", false);
    }

    void valueRules()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, a);
        QFETCH(QVariant, b);
        QFETCH(bool, expected);
        const Setting &s = *settings::find(Family::Dimmer5, key);
        QCOMPARE(b.isValid() ? settings::sameValue(s, a, b) : settings::refusal(s, a).isEmpty(),
                 expected);
    }

    void session_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("described");
        using R = session::Outcome;
        const auto row = [](const char *tag, const char *fault, R outcome, const char *said) {
            QTest::newRow(tag) << fault << int(outcome) << said;
        };
        row("ready", "", R::Ready, "7186");
        row("silent", "silent", R::Silent, "silent");
        row("no model", "getFWInfo\r\nFirmware 2.4 Boot 1.1\r\n718x:", R::NoModel,
            "not supported (no model in its answer)");
        row("model outside the catalogue",
            "getFWInfo\r\nKorvane Model: 9999\r\n718x:", R::Unsupported,
            "not supported (model 9999)");
        row("held by another program", "busy", R::NotOpened, "busy");
        row("not ours to open", "denied", R::NotOpened, "no permission");
        row("no such port", "/nonexistent/ttyX", R::NotOpened, "cannot be opened");
    }

    void session()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(QString, described);
        sim::PtyServer server("7186");
        QVERIFY(server.start());
        Serial other;
        other.setPortName(server.portPath());
        if (fault == "busy" || fault == "denied")
            QCOMPARE(other.open(), Serial::OpenResult::Opened);
        session::setAccessCheck([fault](const QString &) { return fault != "denied"; });
        server.setSilent(fault == "silent");
        if (fault.startsWith("getFWInfo"))
            server.setReplyOverride([fault](const QByteArray &) { return fault.toUtf8(); });
        Serial serial;
        const bool named = fault.startsWith('/') || fault == "None";
        const session::Result result = session::connect(serial, named ? fault : server.portPath());
        session::setAccessCheck({});
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(session::describe(result), described);
        QCOMPARE(result.ready(), result.info != nullptr);
        QCOMPARE(serial.prompt(), result.ready() ? "718x:" : ":");
    }

private:
    std::map<QString, std::unique_ptr<Pair>> m_pairs;
};

QTEST_GUILESS_MAIN(TestLinkSettings)
#include "tst_link_settings.moc"
