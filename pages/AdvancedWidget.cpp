#include "pages/AdvancedWidget.h"
#include "ui_AdvancedWidget.h"

#include "link/Serial.h"
#include "ui/Theme.h"

namespace {

// Reads one output switch into its box. The device's flag word is only tested
// for a "1" anywhere in it; a closed channel leaves the box as it is.
void readOutputSwitch(Serial *serial, const QString &command, QCheckBox *box,
                      const QString &enabledText, const QString &disabledText)
{
    QString word;
    if (!serial || !serial->sendCommand(command, word, 5, 5))
        return;
    const bool enabled = word.contains(QLatin1Char('1'));
    box->setChecked(enabled);
    box->setText(enabled ? enabledText : disabledText);
}

void writeOutputSwitch(Serial *serial, const QString &commandStem, QCheckBox *box,
                       const QString &enabledText, const QString &disabledText)
{
    const bool enabled = box->isChecked();
    if (serial) {
        QString reply;
        serial->sendCommand(
            commandStem + (enabled ? QStringLiteral(" 1\n") : QStringLiteral(" 0\n")), reply);
    }
    box->setText(enabled ? enabledText : disabledText);
}

} // namespace

AdvancedWidget::AdvancedWidget(QWidget *parent) : BaseWidget(parent), ui(new Ui::AdvancedWidget)
{
    ui->setupUi(this);
    applyPageStyle(ui->page);
    applyCheckBoxStyle(ui->c_PwmOutput);
    applyCheckBoxStyle(ui->c_ZeroTenOutput);
}

AdvancedWidget::~AdvancedWidget()
{
    delete ui;
}

void AdvancedWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
}

void AdvancedWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
}

void AdvancedWidget::refresh()
{
    emit iconUpdateSignal();
    pwmConfigUpdate();
    emit iconUpdateSignal();
    zeroTenConfigUpdate();
}

void AdvancedWidget::pwmConfigUpdate()
{
    readOutputSwitch(serial, QStringLiteral("getPwmConfig\n"), ui->c_PwmOutput,
                     tr("PWM Output Enabled"), tr("PWM Output Disabled"));
    // Announced even when the read failed, so listeners always see the boxes as
    // they stand.
    emit PwmZeroTenOutputChanged(ui->c_PwmOutput->isChecked(), ui->c_ZeroTenOutput->isChecked());
}

void AdvancedWidget::zeroTenConfigUpdate()
{
    readOutputSwitch(serial, QStringLiteral("get0-10Config\n"), ui->c_ZeroTenOutput,
                     tr("0-10V Output Enabled"), tr("0-10V Output Disabled"));
    emit PwmZeroTenOutputChanged(ui->c_PwmOutput->isChecked(), ui->c_ZeroTenOutput->isChecked());
}

void AdvancedWidget::on_c_PwmOutput_clicked()
{
    writeOutputSwitch(serial, QStringLiteral("setPwmConfig"), ui->c_PwmOutput,
                      tr("PWM Output Enabled"), tr("PWM Output Disabled"));
    pwmConfigUpdate();
}

void AdvancedWidget::on_c_ZeroTenOutput_clicked()
{
    writeOutputSwitch(serial, QStringLiteral("set0-10Config"), ui->c_ZeroTenOutput,
                      tr("0-10V Output Enabled"), tr("0-10V Output Disabled"));
    zeroTenConfigUpdate();
}
