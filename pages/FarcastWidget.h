#pragma once

#include "pages/BaseWidget.h"

#include <QString>

class QComboBox;

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

    void setDebug(Debug *debug) override;
    void setSerial(Serial *serial) override;
    void refresh() override;

    void setInputModeVisible(bool visible);

private slots:
    void on_cb_dmxInputMode_activated(const QString &arg1);
    void on_le_vexaId_editingFinished();
    void on_cb_antSelect_activated(int index);
    void on_cb_outputPower_activated(int index);
    void on_le_vexaKey_editingFinished();

private:
    void inputModeUpdate();
    void vexaIdUpdate();
    void antennaUpdate();
    void powerUpdate();
    void vexaKeyUpdate();
    void readEntry(const char *key, QComboBox *combo);

    Ui::FarcastWidget *ui;
};
