// User text never becomes more than one command line: the rule itself, and every page field that
// puts typed text into a command, against the simulated device on a pseudo-terminal.

#include "pages/CommandText.h"
#include "pages/DimmerScrollWidget.h"
#include "pages/DimmerWidget.h"
#include "pages/DmxWidget.h"
#include "pages/FarcastWidget.h"
#include "pages/InfoWidget.h"
#include "support/DeviceFixture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QtTest>

#include <memory>

namespace {

// What a user would paste hoping to run a second command.
const QString kInjection = QStringLiteral("7\nsetUserDefaults");

// Far from the factory defaults, so a reset by a smuggled command shows in the state.
void setNonDefaults(sim::DeviceState &s)
{
    s.rootLabel = QStringLiteral("Kept root");
    s.portLabel = QStringLiteral("Kept port");
    s.failLevel = 77;
    s.universe = 9;
    s.dmxAddress = 101;
    s.vexaId = 4711;
    s.vexaKey = 321;
    for (int i = 0; i < s.channels.size(); ++i) {
        s.channels[i].label = QStringLiteral("Kept %1").arg(i);
        s.channels[i].offset = 3 + i;
    }
}

// As a user does it: paste over the field's text, then press Return.
bool pasteAndReturn(QLineEdit *edit, const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
    edit->selectAll();
    QTest::keySequence(edit, QKeySequence::Paste);
    // The field must really hold the control characters, or the page is not being tested.
    if (edit->text() != text)
        return false;
    QTest::keyClick(edit, Qt::Key_Return);
    return true;
}

} // namespace

#define CONNECT_DEVICE(device) QVERIFY2((device).connect(), qPrintable((device).lastError()))

class PageUserTextTest : public QObject
{
    Q_OBJECT

private slots:
    void sendableRule_data();
    void sendableRule();

    void infoPage_controlCharactersAreNeverSent_data();
    void infoPage_controlCharactersAreNeverSent();
    void dmxPage_controlCharactersAreNeverSent_data();
    void dmxPage_controlCharactersAreNeverSent();
    void wirelessPage_controlCharactersAreNeverSent_data();
    void wirelessPage_controlCharactersAreNeverSent();
    void dimmerPage_controlCharactersAreNeverSent_data();
    void dimmerPage_controlCharactersAreNeverSent();

private:
    void checkRefused(sim::PtyServer &server, const sim::DeviceState &before, QLineEdit *edit,
                      const QString &readBack, const QString &shown);
};

void PageUserTextTest::sendableRule_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("sendable");

    const QString head = QStringLiteral("setRdmLabel r \"");
    const QString tail = QStringLiteral("\"\n");
    const auto label = [&](const QString &text) { return head + text + tail; };
    // 255 bytes with the line break: the largest line that leaves room for the terminator.
    const QString longest = label(QString(255 - head.size() - tail.size(), QLatin1Char('x')));

    QTest::newRow("number") << "setUniverse 5\n" << true;
    QTest::newRow("bare line break") << "\n" << true;
    QTest::newRow("letters beyond ASCII") << label(QString::fromUtf8("Bühne ½ 🎭")) << true;
    QTest::newRow("line separator is text to the device") << label(QString(QChar(0x2028))) << true;
    QTest::newRow("longest line that fits") << longest << true;
    QTest::newRow("one byte too long")
        << label(QString(256 - head.size() - tail.size(), QLatin1Char('x'))) << false;
    QTest::newRow("too long only in UTF-8") << label(QString(120, QChar(0xe9))) << false;
    QTest::newRow("no line break at the end") << "setUniverse 5" << false;
    QTest::newRow("second command after a line break") << "setUniverse 7\nsetUserDefaults\n"
                                                       << false;
    QTest::newRow("carriage return") << label(QStringLiteral("a\rb")) << false;
    QTest::newRow("carriage return before the break") << "setUniverse 5\r\n" << false;
    QTest::newRow("tab") << label(QStringLiteral("a\tb")) << false;
    QTest::newRow("escape sequence") << label(QStringLiteral("\x1b[2J")) << false;
    QTest::newRow("zero character") << label(QString(QChar(0))) << false;
    QTest::newRow("delete") << label(QString(QChar(0x7f))) << false;
    QTest::newRow("next line from the C1 range") << label(QString(QChar(0x85))) << false;
}

void PageUserTextTest::sendableRule()
{
    QFETCH(QString, line);
    QFETCH(bool, sendable);
    QCOMPARE(command::isSendable(line), sendable);
}

void PageUserTextTest::checkRefused(sim::PtyServer &server, const sim::DeviceState &before,
                                    QLineEdit *edit, const QString &readBack, const QString &shown)
{
    // Only the read-back reached the device: no set command, no smuggled second command.
    QCOMPARE(server.commandLog(), QStringList{readBack});
    QVERIFY(server.state() == before);
    QCOMPARE(edit->text(), shown);
}

void PageUserTextTest::infoPage_controlCharactersAreNeverSent_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");

    QTest::newRow("label") << "le_deviceLabel" << kInjection << "getRdmLabel r"
                           << "Kept root";
    QTest::newRow("label with a tab") << "le_deviceLabel"
                                      << "a\tb"
                                      << "getRdmLabel r"
                                      << "Kept root";
    // The field holds ten characters: room for a line break and the start of another command.
    QTest::newRow("fail level") << "le_level"
                                << "9\nsetUserD"
                                << "getDataLossLevel"
                                << "77";
}

void PageUserTextTest::infoPage_controlCharactersAreNeverSent()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    DeviceFixture device(QStringLiteral("7146"));
    CONNECT_DEVICE(device);
    device.server.modifyState(&setNonDefaults);
    InfoWidget page(nullptr);
    page.setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    QLineEdit *edit = page.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QVERIFY(pasteAndReturn(edit, typed));
    checkRefused(device.server, before, edit, readBack, shown);
}

void PageUserTextTest::dmxPage_controlCharactersAreNeverSent_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");

    QTest::newRow("universe") << "le_Universe" << kInjection << "getUniverse"
                              << "9";
    QTest::newRow("universe with a carriage return") << "le_Universe"
                                                     << "7\r"
                                                     << "getUniverse"
                                                     << "9";
    QTest::newRow("start address") << "le_DMXAddress" << kInjection << "getDmxAddress"
                                   << "101";
    QTest::newRow("port label") << "le_DMXPortLabel" << kInjection << "getRdmLabel p"
                                << "Kept port";
}

void PageUserTextTest::dmxPage_controlCharactersAreNeverSent()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    DeviceFixture device(QStringLiteral("7146"));
    CONNECT_DEVICE(device);
    device.server.modifyState(&setNonDefaults);
    DmxWidget page(QStringLiteral("7146"), nullptr);
    page.setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    QLineEdit *edit = page.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QVERIFY(pasteAndReturn(edit, typed));
    checkRefused(device.server, before, edit, readBack, shown);
}

void PageUserTextTest::wirelessPage_controlCharactersAreNeverSent_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");

    QTest::newRow("link ID") << "le_vexaId" << kInjection << "getVexaId"
                             << "4711";
    QTest::newRow("link key") << "le_vexaKey" << kInjection << "getVexaKey"
                              << "321";
    QTest::newRow("link key with an escape") << "le_vexaKey"
                                             << "1\x1b"
                                             << "getVexaKey"
                                             << "321";
}

void PageUserTextTest::wirelessPage_controlCharactersAreNeverSent()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    DeviceFixture device(QStringLiteral("7185"));
    CONNECT_DEVICE(device);
    device.server.modifyState(&setNonDefaults);
    FarcastWidget page(nullptr);
    page.setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    QLineEdit *edit = page.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QVERIFY(pasteAndReturn(edit, typed));
    checkRefused(device.server, before, edit, readBack, shown);
}

void PageUserTextTest::dimmerPage_controlCharactersAreNeverSent_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("applyToAll");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");

    QTest::newRow("channel label") << "label" << false << kInjection << "getRdmLabel b"
                                   << "Kept 1";
    QTest::newRow("channel offset") << "offset" << false << kInjection << "getOffset b"
                                    << "4";
    // Refused once, for every channel: the field shows its own channel's value.
    QTest::newRow("label to all channels") << "label" << true << kInjection << "getRdmLabel b"
                                           << "Kept 1";
    QTest::newRow("offset to all channels") << "offset" << true << "5\n"
                                            << "getOffset b"
                                            << "4";
}

void PageUserTextTest::dimmerPage_controlCharactersAreNeverSent()
{
    QFETCH(QString, group);
    QFETCH(bool, applyToAll);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    DeviceFixture device(QStringLiteral("7146"));
    CONNECT_DEVICE(device);
    device.server.modifyState(&setNonDefaults);
    DimmerWidget page(nullptr);
    page.setChannelCount(5);
    page.setSerial(&device.serial);
    if (applyToAll) {
        auto *all = page.findChild<QCheckBox *>(QStringLiteral("c_applyToAll"));
        QVERIFY(all);
        all->click();
    }
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    auto *edit = qobject_cast<QLineEdit *>(
        page.scrollWidget()->findChannelWidget(1, QStringLiteral("line_edit"), group));
    QVERIFY(edit);
    QVERIFY(pasteAndReturn(edit, typed));
    checkRefused(device.server, before, edit, readBack, shown);
}

QTEST_MAIN(PageUserTextTest)
#include "tst_page_usertext.moc"
