#include "pages/FarcastWidget.h"
#include "ui_FarcastWidget.h"

#include "link/Serial.h"
#include "link/UserText.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>

namespace {

// An entry's position in its box is the number exchanged with the device.
const char *const antennaEntries[] = {
    QT_TRANSLATE_NOOP("FarcastWidget", "Internal"), QT_TRANSLATE_NOOP("FarcastWidget", "Omni"),
    QT_TRANSLATE_NOOP("FarcastWidget", "Panel"), QT_TRANSLATE_NOOP("FarcastWidget", "Yagi")};
const char *const powerEntries[] = {
    QT_TRANSLATE_NOOP("FarcastWidget", "Low"), QT_TRANSLATE_NOOP("FarcastWidget", "Medium"),
    QT_TRANSLATE_NOOP("FarcastWidget", "High"), QT_TRANSLATE_NOOP("FarcastWidget", "Max")};
const char *const inputModeEntries[] = {QT_TRANSLATE_NOOP("FarcastWidget", "Wired"),
                                        QT_TRANSLATE_NOOP("FarcastWidget", "Wireless")};
constexpr int inputModeWired = 0;
constexpr int inputModeWireless = 1;

template <size_t N> void fillCombo(QComboBox *combo, const char *const (&entries)[N])
{
    for (const char *entry : entries)
        combo->addItem(QCoreApplication::translate("FarcastWidget", entry));
}

// The device's number is the entry position as it stands: a number past the
// last entry leaves the box without a selection, and anything that is not a
// number reads as 0.
int entryIndex(const QString &word)
{
    return word.toInt(nullptr, 10);
}

} // namespace

FarcastWidget::FarcastWidget(QWidget *parent) : BaseWidget(parent), ui(new Ui::FarcastWidget)
{
    ui->setupUi(this);

    applyPageStyle(ui->page);
    applyComboGroupStyle(ui->gb_dmxInputMode, ui->l_dmxInputMode, ui->cb_dmxInputMode);
    applyEditGroupStyle(ui->gb_vexaId, ui->l_vexaId, ui->le_vexaId);
    applyComboGroupStyle(ui->gb_antSelect, ui->l_antSelect, ui->cb_antSelect);
    applyComboGroupStyle(ui->gb_outputPower, ui->l_outputPower, ui->cb_outputPower);
    applyEditGroupStyle(ui->gb_vexaKey, ui->l_vexaKey, ui->le_vexaKey);

    fillCombo(ui->cb_dmxInputMode, inputModeEntries);
    fillCombo(ui->cb_antSelect, antennaEntries);
    fillCombo(ui->cb_outputPower, powerEntries);

    ui->cb_dmxInputMode->installEventFilter(this);
    ui->le_vexaId->installEventFilter(this);
    ui->cb_antSelect->installEventFilter(this);
    ui->cb_outputPower->installEventFilter(this);
    ui->le_vexaKey->installEventFilter(this);
}

FarcastWidget::~FarcastWidget()
{
    delete ui;
}

void FarcastWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
}

void FarcastWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
}

void FarcastWidget::setInputModeVisible(bool visible)
{
    ui->gb_dmxInputMode->setVisible(visible);
}

void FarcastWidget::refresh()
{
    inputModeUpdate();
    vexaIdUpdate();
    emit iconUpdateSignal();
    antennaUpdate();
    powerUpdate();
    emit iconUpdateSignal();
    vexaKeyUpdate();
}

bool FarcastWidget::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
        const bool focused = type == QEvent::FocusIn;
        const auto styleEdit = focused ? applyEditGroupFocusStyle : applyEditGroupStyle;
        const auto styleCombo = focused ? applyComboGroupFocusStyle : applyComboGroupStyle;
        if (watched == ui->le_vexaId)
            styleEdit(ui->gb_vexaId, ui->l_vexaId, ui->le_vexaId);
        else if (watched == ui->le_vexaKey)
            styleEdit(ui->gb_vexaKey, ui->l_vexaKey, ui->le_vexaKey);
        else if (watched == ui->cb_dmxInputMode)
            styleCombo(ui->gb_dmxInputMode, ui->l_dmxInputMode, ui->cb_dmxInputMode);
        else if (watched == ui->cb_antSelect)
            styleCombo(ui->gb_antSelect, ui->l_antSelect, ui->cb_antSelect);
        else if (watched == ui->cb_outputPower)
            styleCombo(ui->gb_outputPower, ui->l_outputPower, ui->cb_outputPower);
    }
    // Scrolling the page over a combo box must never change a device setting.
    return type == QEvent::Wheel && qobject_cast<QComboBox *>(watched);
}

void FarcastWidget::sendText(const QString &line)
{
    // A line the device could not hold, or user text that would make it more than
    // one command line, is not sent at all; the read-back that follows then shows
    // the user that nothing changed.
    if (!serial || !command::isSendable(line))
        return;
    QString reply;
    serial->sendCommand(line, reply);
}

void FarcastWidget::inputModeUpdate()
{
    // A failed read leaves the word empty and so reads as wired.
    QString word;
    if (serial)
        serial->sendCommand(QStringLiteral("getInputMode\n"), word, 5, 5);
    ui->cb_dmxInputMode->setCurrentIndex(word.contains(QLatin1String("ireless")) ? inputModeWireless
                                                                                 : inputModeWired);
}

void FarcastWidget::vexaIdUpdate()
{
    QString word;
    if (ui->le_vexaId->hasFocus() || !serial ||
        !serial->sendCommand(QStringLiteral("getVexaId\n"), word, 5, 5))
        return;
    ui->le_vexaId->setText(word);
}

void FarcastWidget::antennaUpdate()
{
    QString word;
    if (serial)
        serial->sendCommand(QStringLiteral("getAntenna\n"), word, 4, 4);
    ui->cb_antSelect->setCurrentIndex(entryIndex(word));
}

void FarcastWidget::powerUpdate()
{
    QString word;
    if (serial)
        serial->sendCommand(QStringLiteral("getFCPower\n"), word, 5, 5);
    ui->cb_outputPower->setCurrentIndex(entryIndex(word));
}

void FarcastWidget::vexaKeyUpdate()
{
    QString word;
    if (ui->le_vexaKey->hasFocus() || !serial ||
        !serial->sendCommand(QStringLiteral("getVexaKey\n"), word, 6, 6))
        return;
    ui->le_vexaKey->setText(word);
}

void FarcastWidget::on_cb_dmxInputMode_activated(const QString &arg1)
{
    sendText(arg1.contains(QLatin1String("ireless")) ? QStringLiteral("setInputMode 1\n")
                                                     : QStringLiteral("setInputMode 0\n"));
    inputModeUpdate();
}

void FarcastWidget::on_le_vexaId_editingFinished()
{
    sendText(QStringLiteral("setVexaId ") + ui->le_vexaId->text() + QLatin1Char('\n'));
    ui->le_vexaId->clearFocus();
    vexaIdUpdate();
}

void FarcastWidget::on_cb_antSelect_activated(int index)
{
    sendText(QStringLiteral("setAntenna %1\n").arg(index));
    antennaUpdate();
}

void FarcastWidget::on_cb_outputPower_activated(int index)
{
    sendText(QStringLiteral("setFCPower %1\n").arg(index));
    powerUpdate();
}

void FarcastWidget::on_le_vexaKey_editingFinished()
{
    // The caption promises 0-500, but the device is the judge: the key is sent as
    // typed and the read-back shows what it kept.
    sendText(QStringLiteral("setVexaKey ") + ui->le_vexaKey->text() + QLatin1Char('\n'));
    ui->le_vexaKey->clearFocus();
    vexaKeyUpdate();
}
