#include "pages/AdvancedWidget.h"
#include "ui_AdvancedWidget.h"

#include "ui/Theme.h"

AdvancedWidget::AdvancedWidget(QWidget *parent) : BaseWidget(parent), ui(new Ui::AdvancedWidget)
{
    ui->setupUi(this);
    setFamily(Family::Receiver);
    applyPageStyle(ui->page);
    const FieldBinding *switches[] = {
        bind(ui->c_PwmOutput, QStringLiteral("outputs.pwm"),
             {tr("PWM Output Enabled"), tr("PWM Output Disabled")}),
        bind(ui->c_ZeroTenOutput, QStringLiteral("outputs.zero_ten"),
             {tr("0-10V Output Enabled"), tr("0-10V Output Disabled")}),
    };
    // Announced after every read, failed or not, so listeners always see the boxes as they stand.
    for (const FieldBinding *output : switches) {
        connect(output, &FieldBinding::shown, this, [this] {
            emit PwmZeroTenOutputChanged(ui->c_PwmOutput->isChecked(),
                                         ui->c_ZeroTenOutput->isChecked());
        });
    }
}

AdvancedWidget::~AdvancedWidget()
{
    delete ui;
}

void AdvancedWidget::refresh()
{
    emit iconUpdateSignal();
    BaseWidget::refresh();
}
