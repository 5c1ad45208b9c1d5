// User text never becomes more than one command line: the rule itself, and every page field that
// puts typed text into a command, against the simulated device on a pseudo-terminal.

#include "pages/BaseWidget.h"
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

    void pastedControlCharacters_areNeverSent_data();
    void pastedControlCharacters_areNeverSent();
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

void PageUserTextTest::pastedControlCharacters_areNeverSent_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("field"); // object name, or a dimmer channel's field group
    QTest::addColumn<bool>("applyToAll");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");

    QTest::newRow("information: label")
        << "7146"
        << "le_deviceLabel" << false << kInjection << "getRdmLabel r"
        << "Kept root";
    QTest::newRow("information: label with a tab") << "7146"
                                                   << "le_deviceLabel" << false << "a\tb"
                                                   << "getRdmLabel r"
                                                   << "Kept root";
    // The field holds ten characters: room for a line break and the start of another command.
    QTest::newRow("information: fail level") << "7146"
                                             << "le_level" << false << "9\nsetUserD"
                                             << "getDataLossLevel"
                                             << "77";
    QTest::newRow("DMX: universe") << "7146"
                                   << "le_Universe" << false << kInjection << "getUniverse"
                                   << "9";
    QTest::newRow("DMX: universe with a carriage return") << "7146"
                                                          << "le_Universe" << false << "7\r"
                                                          << "getUniverse"
                                                          << "9";
    QTest::newRow("DMX: start address") << "7146"
                                        << "le_DMXAddress" << false << kInjection << "getDmxAddress"
                                        << "101";
    QTest::newRow("DMX: port label") << "7146"
                                     << "le_DMXPortLabel" << false << kInjection << "getRdmLabel p"
                                     << "Kept port";
    QTest::newRow("wireless: link ID") << "7185"
                                       << "le_vexaId" << false << kInjection << "getVexaId"
                                       << "4711";
    QTest::newRow("wireless: link key") << "7185"
                                        << "le_vexaKey" << false << kInjection << "getVexaKey"
                                        << "321";
    QTest::newRow("wireless: link key with an escape") << "7185"
                                                       << "le_vexaKey" << false << "1\x1b"
                                                       << "getVexaKey"
                                                       << "321";
    QTest::newRow("dimmer: channel label") << "7146"
                                           << "label" << false << kInjection << "getRdmLabel b"
                                           << "Kept 1";
    QTest::newRow("dimmer: channel offset") << "7146"
                                            << "offset" << false << kInjection << "getOffset b"
                                            << "4";
    // Refused once, for every channel: the field shows its own channel's value.
    QTest::newRow("dimmer: label to all channels")
        << "7146"
        << "label" << true << kInjection << "getRdmLabel b"
        << "Kept 1";
    QTest::newRow("dimmer: offset to all channels") << "7146"
                                                    << "offset" << true << "5\n"
                                                    << "getOffset b"
                                                    << "4";
}

void PageUserTextTest::pastedControlCharacters_areNeverSent()
{
    QFETCH(QString, model);
    QFETCH(QString, field);
    QFETCH(bool, applyToAll);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    DeviceFixture device(model);
    CONNECT_DEVICE(device);
    device.server.modifyState(&setNonDefaults);

    // Each row's name begins with its page.
    const QString page =
        QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(':'), 0, 0);
    std::unique_ptr<BaseWidget> widget;
    QLineEdit *edit = nullptr;
    if (page == QLatin1String("dimmer")) {
        auto *dimmer = new DimmerWidget(nullptr);
        widget.reset(dimmer);
        dimmer->setChannelCount(5);
        if (applyToAll) {
            auto *all = dimmer->findChild<QCheckBox *>(QStringLiteral("c_applyToAll"));
            QVERIFY(all);
            all->click();
        }
        edit = qobject_cast<QLineEdit *>(
            dimmer->scrollWidget()->findChannelWidget(1, QStringLiteral("line_edit"), field));
    } else {
        if (page == QLatin1String("information"))
            widget.reset(new InfoWidget(nullptr));
        else if (page == QLatin1String("DMX"))
            widget.reset(new DmxWidget(model, nullptr));
        else
            widget.reset(new FarcastWidget(nullptr));
        edit = widget->findChild<QLineEdit *>(field);
    }
    QVERIFY(edit);
    widget->setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    QVERIFY(pasteAndReturn(edit, typed));

    // Only the read-back reached the device: no set command, no smuggled second command.
    QCOMPARE(device.server.commandLog(), QStringList{readBack});
    QVERIFY(device.server.state() == before);
    QCOMPARE(edit->text(), shown);
}

QTEST_MAIN(PageUserTextTest)
#include "tst_page_usertext.moc"
