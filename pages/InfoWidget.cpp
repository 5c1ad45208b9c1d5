#include "pages/InfoWidget.h"

#include "unit/FailTime.h"
#include "unit/ModelCatalogue.h"
#include "ui/Theme.h"

#include "ui_InfoWidget.h"

InfoWidget::InfoWidget(QWidget *parent) : InfoWidget(parent, "InfoWidget", Family::Dimmer5) {}

InfoWidget::InfoWidget(QWidget *parent, const char *objectName, Family family)
    : BaseWidget(parent), ui(new Ui::InfoWidget)
{
    // The form keeps a name given before it is built, so the receiver card's page is told apart.
    setObjectName(QLatin1String(objectName));
    ui->setupUi(this);
    setFamily(family);

    applyPageStyle(ui->page);
    applyFrameGroupStyle(ui->gb_DMXFailMode);
    for (QLabel *label : {ui->l_DMXFailMode, ui->l_DMXFailModeDelay, ui->l_DMXFailModeHold})
        applyLabelStyle(label);
    for (QLabel *caption :
         {ui->l_modelDesc, ui->l_manufacture, ui->l_software, ui->l_bootSoftware, ui->l_rdmUid})
        applyCaptionStyle(caption);
    for (QLabel *value : {ui->lc_modelDesc, ui->lc_manufacture, ui->lc_software,
                          ui->lc_bootSoftware, ui->lc_rdmUid})
        applyLargeLabelStyle(value);
    applyButtonStyle(ui->pb_defaults);

    // A version is read in two parts; should only the second fail, the first is shown alone.
    bind(ui->le_deviceLabel, QStringLiteral("device.label"));
    bind(ui->lc_software, QStringLiteral("identity.software"));
    bind(ui->lc_bootSoftware, QStringLiteral("identity.boot"));
    bind(ui->lc_rdmUid, QStringLiteral("identity.uid"));
    m_delay = bind(ui->le_DMXFailModeDelay, QStringLiteral("failmode.delay"));
    m_hold = bind(ui->le_DMXFailModeHold, QStringLiteral("failmode.hold"));
    bind(ui->le_level, QStringLiteral("failmode.level"));
}

InfoWidget::~InfoWidget()
{
    delete ui;
}

void InfoWidget::refresh()
{
    const settings::Reading model = readSetting(QStringLiteral("identity.model"));
    if (model.sent)
        ui->lc_modelDesc->setText(getModelName(model.words));
    BaseWidget::refresh();
}

void InfoWidget::on_pb_defaults_clicked()
{
    if (Serial *link = channel())
        settings::factoryReset(*link);
    refresh();
}

void InfoWidget::on_pb_DMXFailModeDelayInf_clicked()
{
    m_delay->writeTenths(failmode::infiniteTenths);
}

void InfoWidget::on_pb_DMXFailModeHoldInf_clicked()
{
    m_hold->writeTenths(failmode::infiniteTenths);
}

InfoWidget2::InfoWidget2(QWidget *parent) : InfoWidget(parent, "InfoWidget2", Family::Receiver) {}
