#include "pages/DmxWidget.h"
#include "ui_DmxWidget.h"

#include "pages/FieldFocus.h"
#include "ui/Theme.h"
#include "unit/ModelCatalogue.h"

const DmxWidget::Variant DmxWidget::dimmerVariant{"DmxWidget", true};
const DmxWidget::Variant DmxWidget::receiverVariant{"DmxWidget2", false};

DmxWidget::DmxWidget(const QString &model, QWidget *parent)
    : DmxWidget(dimmerVariant, model, parent)
{
}

DmxWidget::DmxWidget(const Variant &variant, const QString &model, QWidget *parent)
    : BaseWidget(parent), ui(new Ui::DmxWidget), m_variant(variant)
{
    // Named before the form is built: the form only names a widget that has no
    // name yet.
    setObjectName(QString::fromLatin1(variant.objectName));
    ui->setupUi(this);
    if (const ModelInfo *info = catalogue::find(model))
        setFamily(info->family);

    applyPageStyle(ui->page);
    applyCheckBoxStyle(ui->c_RDMTrafficEnable);
    applyEditGroupStyle(ui->gb_DMXPortLabel, ui->l_DMXPortLabel, ui->le_DMXPortLabel);
    applyEditGroupStyle(ui->gb_Universe, ui->l_Universe, ui->le_Universe);
    applyEditGroupStyle(ui->gb_DMXAddress, ui->l_DMXAddress, ui->le_DMXAddress);
    FieldFocus::watch(ui->gb_DMXPortLabel, ui->l_DMXPortLabel, ui->le_DMXPortLabel);
    FieldFocus::watch(ui->gb_Universe, ui->l_Universe, ui->le_Universe);
    FieldFocus::watch(ui->gb_DMXAddress, ui->l_DMXAddress, ui->le_DMXAddress);

    if (variant.hasPersonality) {
        applyComboGroupStyle(ui->gb_DMXPersonality, ui->l_DMXPersonality, ui->cb_DMXPersonality);
        const int channels = getModelChannels(model);
        ui->cb_DMXPersonality->addItem(tr("1 - 8-bit (%1ch)").arg(channels));
        ui->cb_DMXPersonality->addItem(tr("2 - 16-bit (%1ch)").arg(channels * 2));
        FieldFocus::watch(ui->gb_DMXPersonality, ui->l_DMXPersonality, ui->cb_DMXPersonality);
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

void DmxWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
}

void DmxWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
}

void DmxWidget::refresh()
{
    emit iconUpdateSignal();
    rdmTrafficUpdate();
    labelUpdate();
    emit iconUpdateSignal();
    universeUpdate();
    dmxAddressUpdate();
    emit iconUpdateSignal();
    if (m_variant.hasPersonality)
        personalityUpdate();
}

void DmxWidget::showRdmTraffic(bool enabled)
{
    ui->c_RDMTrafficEnable->setText(enabled ? tr("RDM Traffic Enabled")
                                            : tr("RDM Traffic Disabled"));
}

void DmxWidget::rdmTrafficUpdate()
{
    const settings::Reading reading = readSetting(QStringLiteral("dmx.rdm_traffic"));
    if (!reading.sent)
        return;
    const bool enabled = reading.value && reading.value->toBool();
    ui->c_RDMTrafficEnable->setChecked(enabled);
    showRdmTraffic(enabled);
}

void DmxWidget::labelUpdate()
{
    if (ui->le_DMXPortLabel->hasFocus())
        return;
    const settings::Reading reading = readSetting(QStringLiteral("dmx.port_label"));
    if (reading.sent)
        ui->le_DMXPortLabel->setText(reading.words);
}

void DmxWidget::universeUpdate()
{
    if (ui->le_Universe->hasFocus())
        return;
    const settings::Reading reading = readSetting(QStringLiteral("dmx.universe"));
    if (reading.sent)
        ui->le_Universe->setText(reading.words);
}

void DmxWidget::dmxAddressUpdate()
{
    if (ui->le_DMXAddress->hasFocus())
        return;
    const settings::Reading reading = readSetting(QStringLiteral("dmx.address"));
    if (reading.sent)
        ui->le_DMXAddress->setText(reading.words);
}

void DmxWidget::personalityUpdate()
{
    // A failed read has no value and so falls back to 8-bit.
    const settings::Reading reading = readSetting(QStringLiteral("dmx.personality"));
    const bool sixteenBit = reading.value && reading.value->toInt() == 1;
    ui->cb_DMXPersonality->setCurrentIndex(sixteenBit ? indexSixteenBit : indexEightBit);
}

void DmxWidget::on_c_RDMTrafficEnable_clicked()
{
    const bool enabled = ui->c_RDMTrafficEnable->isChecked();
    sendUserText(QStringLiteral("dmx.rdm_traffic"),
                 enabled ? QStringLiteral("1") : QStringLiteral("0"));
    showRdmTraffic(enabled);
    rdmTrafficUpdate();
}

void DmxWidget::on_le_Universe_editingFinished()
{
    sendUserText(QStringLiteral("dmx.universe"), ui->le_Universe->text());
    finishEditing(ui->le_Universe);
    universeUpdate();
}

void DmxWidget::on_le_DMXAddress_editingFinished()
{
    sendUserText(QStringLiteral("dmx.address"), ui->le_DMXAddress->text());
    finishEditing(ui->le_DMXAddress);
    dmxAddressUpdate();
}

void DmxWidget::on_cb_DMXPersonality_activated(const QString &arg1)
{
    // The entry numbers shown to the user are not the device's values: 8-bit is
    // 0, 16-bit is 1.
    sendUserText(QStringLiteral("dmx.personality"), arg1.contains(QLatin1String("16-bit"))
                                                        ? QStringLiteral("1")
                                                        : QStringLiteral("0"));
    personalityUpdate();
}

void DmxWidget::on_le_DMXPortLabel_editingFinished()
{
    // Sent as typed, quotes and all.
    sendUserText(QStringLiteral("dmx.port_label"), ui->le_DMXPortLabel->text());
    finishEditing(ui->le_DMXPortLabel);
    labelUpdate();
}

DmxWidget2::DmxWidget2(QWidget *parent) : DmxWidget(receiverVariant, QString(), parent)
{
    setFamily(Family::Receiver);
}

void DmxWidget2::onPwmZeroTenChanged(bool pwm, bool zeroTen)
{
    // The start address only matters to an output that is switched on.
    ui->gb_DMXAddress->setVisible(pwm || zeroTen);
}
