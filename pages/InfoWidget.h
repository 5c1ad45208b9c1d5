#pragma once

#include "pages/BaseWidget.h"

namespace Ui {
class InfoWidget;
}

// The device's identity (model, versions, RDM UID, label, factory reset) and its DMX fail
// behaviour. The dimmers and the receiver card differ only in where their replies put these
// values, which is the settings table's business, so both pages are this class.
class InfoWidget : public BaseWidget
{
    Q_OBJECT

public:
    explicit InfoWidget(QWidget *parent = nullptr);
    ~InfoWidget() override;

    void refresh() override;

protected:
    InfoWidget(QWidget *parent, const char *objectName, Family family);

private slots:
    void on_pb_defaults_clicked();
    void on_pb_DMXFailModeDelayInf_clicked();
    void on_pb_DMXFailModeHoldInf_clicked();

private:
    Ui::InfoWidget *ui;
    FieldBinding *m_delay;
    FieldBinding *m_hold;
};

// The receiver card's information page.
class InfoWidget2 : public InfoWidget
{
    Q_OBJECT

public:
    explicit InfoWidget2(QWidget *parent = nullptr);
};
