#include "pages/FarcastWidget.h"
#include "ui_FarcastWidget.h"

#include "pages/FieldFocus.h"
#include "ui/Theme.h"

#include <QComboBox>
#include <QCoreApplication>

namespace {

constexpr int inputModeWired = 0;
constexpr int inputModeWireless = 1;

// The entries in the settings table's order: an entry's position is the device's number.
void fillCombo(QComboBox *combo, const char *key)
{
    const settings::Setting *setting = settings::find(Family::Dimmer5, QLatin1String(key));
    for (const QString &entry : setting->entries) {
        combo->addItem(
            QCoreApplication::translate(setting->translationContext, entry.toUtf8().constData()));
    }
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

    ui->cb_dmxInputMode->addItem(tr("Wired"));
    ui->cb_dmxInputMode->addItem(tr("Wireless"));
    fillCombo(ui->cb_antSelect, "wireless.antenna");
    fillCombo(ui->cb_outputPower, "wireless.power");

    FieldFocus::watch(ui->gb_dmxInputMode, ui->l_dmxInputMode, ui->cb_dmxInputMode);
    FieldFocus::watch(ui->gb_vexaId, ui->l_vexaId, ui->le_vexaId);
    FieldFocus::watch(ui->gb_antSelect, ui->l_antSelect, ui->cb_antSelect);
    FieldFocus::watch(ui->gb_outputPower, ui->l_outputPower, ui->cb_outputPower);
    FieldFocus::watch(ui->gb_vexaKey, ui->l_vexaKey, ui->le_vexaKey);
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

void FarcastWidget::inputModeUpdate()
{
    // A failed read has no value and so reads as wired.
    const settings::Reading reading = readSetting(QStringLiteral("wireless.input_mode"));
    const bool wireless = reading.value && reading.value->toInt() == inputModeWireless;
    ui->cb_dmxInputMode->setCurrentIndex(wireless ? inputModeWireless : inputModeWired);
}

void FarcastWidget::vexaIdUpdate()
{
    if (ui->le_vexaId->hasFocus())
        return;
    const settings::Reading reading = readSetting(QStringLiteral("wireless.vexa_id"));
    if (reading.sent)
        ui->le_vexaId->setText(reading.words);
}

// The box shows the device's number as it stands: a number past the last entry leaves it without
// a selection, and anything that is not a number (a failed read too) selects the first entry.
void FarcastWidget::readEntry(const char *key, QComboBox *combo)
{
    const settings::Reading reading = readSetting(QLatin1String(key));
    combo->setCurrentIndex(reading.words.toInt(nullptr, 10));
}

void FarcastWidget::antennaUpdate()
{
    readEntry("wireless.antenna", ui->cb_antSelect);
}

void FarcastWidget::powerUpdate()
{
    readEntry("wireless.power", ui->cb_outputPower);
}

void FarcastWidget::vexaKeyUpdate()
{
    if (ui->le_vexaKey->hasFocus())
        return;
    const settings::Reading reading = readSetting(QStringLiteral("wireless.vexa_key"));
    if (reading.sent)
        ui->le_vexaKey->setText(reading.words);
}

void FarcastWidget::on_cb_dmxInputMode_activated(const QString &arg1)
{
    sendUserText(QStringLiteral("wireless.input_mode"), arg1.contains(QLatin1String("ireless"))
                                                            ? QStringLiteral("1")
                                                            : QStringLiteral("0"));
    inputModeUpdate();
}

void FarcastWidget::on_le_vexaId_editingFinished()
{
    sendUserText(QStringLiteral("wireless.vexa_id"), ui->le_vexaId->text());
    finishEditing(ui->le_vexaId);
    vexaIdUpdate();
}

void FarcastWidget::on_cb_antSelect_activated(int index)
{
    sendUserText(QStringLiteral("wireless.antenna"), QString::number(index));
    antennaUpdate();
}

void FarcastWidget::on_cb_outputPower_activated(int index)
{
    sendUserText(QStringLiteral("wireless.power"), QString::number(index));
    powerUpdate();
}

void FarcastWidget::on_le_vexaKey_editingFinished()
{
    // The caption promises 0-500, but the device is the judge: the key is sent as
    // typed and the read-back shows what it kept.
    sendUserText(QStringLiteral("wireless.vexa_key"), ui->le_vexaKey->text());
    finishEditing(ui->le_vexaKey);
    vexaKeyUpdate();
}
