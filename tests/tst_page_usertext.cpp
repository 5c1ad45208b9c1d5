// User text never becomes more than one command line: the rule itself, and every page field that
// puts typed text into a command, against the simulated device on a pseudo-terminal.

#include "pages/BaseWidget.h"
#include "link/UserText.h"
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
    const auto label = [](const QString &text) { return "setRdmLabel r \"" + text + "\"\n"; };

    QTest::newRow("number") << "setUniverse 5\n" << true;
    QTest::newRow("letters beyond ASCII") << label(QString::fromUtf8("Bühne ½ 🎭")) << true;
    QTest::newRow("line separator is text to the device") << label(QString(QChar(0x2028))) << true;
    // 137 characters, but 257 bytes where the device has room for 255.
    QTest::newRow("too long only in UTF-8") << label(QString(120, QChar(0xe9))) << false;
    QTest::newRow("no line break at the end") << "setUniverse 5" << false;
    QTest::newRow("second command") << "setUniverse 7\nsetUserDefaults\n" << false;
    QTest::newRow("carriage return") << label(QStringLiteral("a\rb")) << false;
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
    QTest::addColumn<QString>("field"); // object name, or a dimmer channel's field group
    QTest::addColumn<bool>("applyToAll");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QString>("shown");
    // Each row's name begins with its page.
    const auto row = [](const char *tag, const char *field, bool all, const QString &typed,
                        const char *readBack, const char *shown) {
        QTest::newRow(tag) << field << all << typed << readBack << shown;
    };
    const QString injection = QStringLiteral("7\nsetUserDefaults");

    row("information: label", "le_deviceLabel", false, injection, "getRdmLabel r", "Glimmerline");
    // The field holds ten characters: room for a line break and the start of another command.
    row("information: fail level", "le_level", false, "9\nsetUserD", "getDataLossLevel", "0");
    row("DMX: universe", "le_Universe", false, injection, "getUniverse", "1");
    row("DMX: universe with a carriage return", "le_Universe", false, "7\r", "getUniverse", "1");
    row("DMX: start address", "le_DMXAddress", false, injection, "getDmxAddress", "1");
    row("DMX: port label", "le_DMXPortLabel", false, injection, "getRdmLabel p", "DMX Port");
    row("wireless: link ID", "le_vexaId", false, injection, "getVexaId", "1");
    row("wireless: link key", "le_vexaKey", false, injection, "getVexaKey", "0");
    row("dimmer: channel label", "label", false, injection, "getRdmLabel b", "Channel B");
    row("dimmer: channel offset", "offset", false, injection, "getOffset b", "0");
    // Refused once, for every channel: the field shows its own channel's value.
    row("dimmer: label to all channels", "label", true, injection, "getRdmLabel b", "Channel B");
}

void PageUserTextTest::pastedControlCharacters_areNeverSent()
{
    QFETCH(QString, field);
    QFETCH(bool, applyToAll);
    QFETCH(QString, typed);
    QFETCH(QString, readBack);
    QFETCH(QString, shown);

    const QString page =
        QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(':'), 0, 0);
    const QString model = page == QLatin1String("wireless") ? "7185" : "7146";
    DeviceFixture device(model);
    QVERIFY2(device.connect(), qPrintable(device.lastError()));
    std::unique_ptr<BaseWidget> widget;
    DimmerWidget *dimmer = nullptr;
    if (page == QLatin1String("information"))
        widget.reset(new InfoWidget(nullptr));
    else if (page == QLatin1String("DMX"))
        widget.reset(new DmxWidget(model, nullptr));
    else if (page == QLatin1String("wireless"))
        widget.reset(new FarcastWidget(nullptr));
    else
        widget.reset(dimmer = new DimmerWidget(nullptr));
    QLineEdit *edit = widget->findChild<QLineEdit *>(field);
    if (dimmer) {
        dimmer->setChannelCount(5);
        if (applyToAll)
            dimmer->findChild<QCheckBox *>(QStringLiteral("c_applyToAll"))->click();
        edit = qobject_cast<QLineEdit *>(
            dimmer->scrollWidget()->findChannelWidget(1, QStringLiteral("line_edit"), field));
    }
    QVERIFY(edit);
    widget->setSerial(&device.serial);
    const sim::DeviceState before = device.server.state();
    device.server.clearLog();

    // As a user does it: paste over the field's text, then press Return. The field must really
    // hold the control characters, or the page is not being tested.
    QGuiApplication::clipboard()->setText(typed);
    edit->selectAll();
    QTest::keySequence(edit, QKeySequence::Paste);
    QCOMPARE(edit->text(), typed);
    QTest::keyClick(edit, Qt::Key_Return);

    // Only the read-back reached the device (the simulator logs every line it receives): no set
    // command, no smuggled second command.
    QCOMPARE(device.server.commandLog(), QStringList{readBack});
    QVERIFY(device.server.state() == before);
    QCOMPARE(edit->text(), shown);
}

QTEST_MAIN(PageUserTextTest)
#include "tst_page_usertext.moc"
