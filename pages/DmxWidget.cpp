#include "pages/DmxWidget.h"
#include "ui_DmxWidget.h"

#include "unit/ModelCatalogue.h"
#include "ui/Theme.h"

DmxWidget::DmxWidget(const ModelInfo &model, QWidget *parent) : DmxWidget(&model, parent) {}

DmxWidget::DmxWidget(const ModelInfo *model, QWidget *parent)
    : BaseWidget(parent), ui(new Ui::DmxWidget)
{
    // Named before the form is built: the form only names a widget that has no name yet.
    setObjectName(QLatin1String(model ? "DmxWidget" : "DmxWidget2"));
    ui->setupUi(this);
    setFamily(model ? model->family : Family::Receiver);
    applyPageStyle(ui->page);

    bind(ui->c_RDMTrafficEnable, QStringLiteral("dmx.rdm_traffic"),
         {tr("RDM Traffic Enabled"), tr("RDM Traffic Disabled")});
    bind(ui->le_DMXPortLabel, QStringLiteral("dmx.port_label"));
    bind(ui->le_Universe, QStringLiteral("dmx.universe"));
    bind(ui->le_DMXAddress, QStringLiteral("dmx.address"));
    if (model) {
        // The entry numbers shown to the user are not the device's values: 8-bit is 0.
        ui->cb_DMXPersonality->addItem(tr("1 - 8-bit (%1ch)").arg(model->channels));
        ui->cb_DMXPersonality->addItem(tr("2 - 16-bit (%1ch)").arg(model->channels * 2));
        bind(ui->cb_DMXPersonality, QStringLiteral("dmx.personality"));
    } else {
        // A device without personalities must not even offer the field.
        delete ui->gb_DMXPersonality;
        ui->gb_DMXPersonality = nullptr;
        ui->l_DMXPersonality = nullptr;
        ui->cb_DMXPersonality = nullptr;
    }
}

DmxWidget::~DmxWidget()
{
    delete ui;
}

void DmxWidget::refresh()
{
    emit iconUpdateSignal();
    BaseWidget::refresh();
}

DmxWidget2::DmxWidget2(QWidget *parent) : DmxWidget(nullptr, parent) {}

void DmxWidget2::onPwmZeroTenChanged(bool pwm, bool zeroTen)
{
    // The start address only matters to an output that is switched on.
    ui->gb_DMXAddress->setVisible(pwm || zeroTen);
}
