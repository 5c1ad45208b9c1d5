#include "pages/FarcastWidget.h"
#include "ui_FarcastWidget.h"

#include "ui/Theme.h"

FarcastWidget::FarcastWidget(QWidget *parent) : BaseWidget(parent), ui(new Ui::FarcastWidget)
{
    ui->setupUi(this);
    applyPageStyle(ui->page);

    ui->cb_dmxInputMode->addItems({tr("Wired"), tr("Wireless")});
    bind(ui->cb_dmxInputMode, QStringLiteral("wireless.input_mode"));
    bind(ui->le_vexaId, QStringLiteral("wireless.vexa_id"));
    bind(ui->cb_antSelect, QStringLiteral("wireless.antenna"));
    bind(ui->cb_outputPower, QStringLiteral("wireless.power"));
    // The caption promises 0-500, but the device is the judge: the key is sent as typed and the
    // read-back shows what it kept.
    bind(ui->le_vexaKey, QStringLiteral("wireless.vexa_key"));
}

FarcastWidget::~FarcastWidget()
{
    delete ui;
}

void FarcastWidget::setInputModeVisible(bool visible)
{
    ui->gb_dmxInputMode->setVisible(visible);
}
