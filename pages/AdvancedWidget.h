#pragma once

#include "pages/BaseWidget.h"

namespace Ui {
class AdvancedWidget;
}

// The receiver card's output switches: PWM and 0-10V. Every read announces both
// states, so the DMX port page can hide its start address while neither output
// uses it.
class AdvancedWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit AdvancedWidget(QWidget *parent);
    ~AdvancedWidget() override;

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

signals:
    void PwmZeroTenOutputChanged(bool pwm, bool zeroTen);

private slots:
    void on_c_PwmOutput_clicked();
    void on_c_ZeroTenOutput_clicked();

private:
    void pwmConfigUpdate();
    void zeroTenConfigUpdate();

    Ui::AdvancedWidget *ui;
};
