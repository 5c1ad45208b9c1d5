#include "pages/AdvancedWidget.h"
#include "ui_AdvancedWidget.h"

#include "ui/Theme.h"

AdvancedWidget::AdvancedWidget(QWidget *parent) : BaseWidget(parent), ui(new Ui::AdvancedWidget)
{
    ui->setupUi(this);
    setFamily(Family::Receiver);
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

AdvancedWidget::OutputSwitch AdvancedWidget::pwmSwitch() const
{
    return {"outputs.pwm", ui->c_PwmOutput, tr("PWM Output Enabled"), tr("PWM Output Disabled")};
}

AdvancedWidget::OutputSwitch AdvancedWidget::zeroTenSwitch() const
{
    return {"outputs.zero_ten", ui->c_ZeroTenOutput, tr("0-10V Output Enabled"),
            tr("0-10V Output Disabled")};
}

// The device's flag word is only tested for a "1" anywhere in it; a closed channel leaves the box
// as it is.
void AdvancedWidget::readSwitch(const OutputSwitch &output)
{
    const settings::Reading reading = readSetting(QLatin1String(output.key));
    if (reading.sent) {
        const bool enabled = reading.value && reading.value->toBool();
        output.box->setChecked(enabled);
        output.box->setText(enabled ? output.enabledText : output.disabledText);
    }
    // Announced even when the read failed, so listeners always see the boxes as they stand.
    emit PwmZeroTenOutputChanged(ui->c_PwmOutput->isChecked(), ui->c_ZeroTenOutput->isChecked());
}

void AdvancedWidget::writeSwitch(const OutputSwitch &output)
{
    const bool enabled = output.box->isChecked();
    sendUserText(QLatin1String(output.key), enabled ? QStringLiteral("1") : QStringLiteral("0"));
    output.box->setText(enabled ? output.enabledText : output.disabledText);
}

void AdvancedWidget::pwmConfigUpdate()
{
    readSwitch(pwmSwitch());
}

void AdvancedWidget::zeroTenConfigUpdate()
{
    readSwitch(zeroTenSwitch());
}

void AdvancedWidget::on_c_PwmOutput_clicked()
{
    writeSwitch(pwmSwitch());
    pwmConfigUpdate();
}

void AdvancedWidget::on_c_ZeroTenOutput_clicked()
{
    writeSwitch(zeroTenSwitch());
    zeroTenConfigUpdate();
}
