#pragma once

#include "pages/BaseWidget.h"

#include <QString>

namespace Ui {
class DmxWidget;
}

// The DMX input port: RDM traffic, the port's RDM label, universe, start
// address and (dimmers only) personality. Every value is read from the device;
// edits are written and read back.
class DmxWidget : public BaseWidget
{
    Q_OBJECT

public:
    DmxWidget(const QString &model, QWidget *parent);
    ~DmxWidget() override;

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

protected:
    // What distinguishes the receiver-card page from the dimmer page; where each family keeps
    // its port label is the settings table's business.
    struct Variant
    {
        const char *objectName;
        bool hasPersonality;
    };
    static const Variant dimmerVariant;
    static const Variant receiverVariant;

    DmxWidget(const Variant &variant, const QString &model, QWidget *parent);

    Ui::DmxWidget *ui;
    int indexEightBit = 0;
    int indexSixteenBit = 1;

private slots:
    void on_c_RDMTrafficEnable_clicked();
    void on_le_Universe_editingFinished();
    void on_le_DMXAddress_editingFinished();
    void on_cb_DMXPersonality_activated(const QString &arg1);
    void on_le_DMXPortLabel_editingFinished();

private:
    void rdmTrafficUpdate();
    void labelUpdate();
    void universeUpdate();
    void dmxAddressUpdate();
    void personalityUpdate();
    void showRdmTraffic(bool enabled);

    const Variant &m_variant;
};

// The receiver-card page: no personality, the port label in slot "1", and the
// start address shown only while an output that uses it is switched on.
class DmxWidget2 : public DmxWidget
{
    Q_OBJECT

public:
    explicit DmxWidget2(QWidget *parent);

public slots:
    void onPwmZeroTenChanged(bool pwm, bool zeroTen);
};
