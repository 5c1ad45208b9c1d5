#pragma once

#include "pages/BaseWidget.h"

#include <QString>

class QCheckBox;

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

    // One output switch: its setting, its box and the box's two captions.
    struct OutputSwitch
    {
        const char *key;
        QCheckBox *box;
        QString enabledText;
        QString disabledText;
    };
    OutputSwitch pwmSwitch() const;
    OutputSwitch zeroTenSwitch() const;
    void readSwitch(const OutputSwitch &output);
    void writeSwitch(const OutputSwitch &output);

    Ui::AdvancedWidget *ui;
};
