#pragma once

#include "pages/BaseWidget.h"

namespace Ui {
class FarcastWidget;
}

// The wireless receiver: input mode, Vexa ID and key, antenna and output power.
class FarcastWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit FarcastWidget(QWidget *parent);
    ~FarcastWidget() override;

    void setInputModeVisible(bool visible);

private:
    Ui::FarcastWidget *ui;
};
