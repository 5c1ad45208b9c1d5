#pragma once

#include "pages/BaseWidget.h"

namespace Ui {
class AdvancedWidget;
}

// The receiver card's output switches: PWM and 0-10V. Every read announces both states, so the
// DMX port page can hide its start address while neither output uses it.
class AdvancedWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit AdvancedWidget(QWidget *parent);
    ~AdvancedWidget() override;

    void refresh() override;

signals:
    void PwmZeroTenOutputChanged(bool pwm, bool zeroTen);

private:
    Ui::AdvancedWidget *ui;
};
