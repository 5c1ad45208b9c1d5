#pragma once

#include "pages/BaseWidget.h"

struct ModelInfo;

namespace Ui {
class DmxWidget;
}

// The DMX input port: RDM traffic, the port's RDM label, universe, start address and (dimmers
// only) personality. Every value is read from the device; edits are written and read back.
class DmxWidget : public BaseWidget
{
    Q_OBJECT

public:
    DmxWidget(const ModelInfo &model, QWidget *parent);
    ~DmxWidget() override;

    void refresh() override;

protected:
    // The receiver card's page: no personality; where each family keeps its port label is the
    // settings table's business.
    DmxWidget(const ModelInfo *model, QWidget *parent);

    Ui::DmxWidget *ui;
};

// The receiver-card page: no personality, and the start address shown only while an output that
// uses it is switched on.
class DmxWidget2 : public DmxWidget
{
    Q_OBJECT

public:
    explicit DmxWidget2(QWidget *parent);

public slots:
    void onPwmZeroTenChanged(bool pwm, bool zeroTen);
};
