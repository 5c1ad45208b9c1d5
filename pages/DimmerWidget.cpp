#include "pages/DimmerWidget.h"

#include "pages/DimmerScrollWidget.h"
#include "ui/Theme.h"
#include "ui_DimmerWidget.h"

DimmerWidget::DimmerWidget(QWidget *parent)
    : BaseWidget(parent), ui(new Ui::DimmerWidget), m_editor(nullptr)
{
    ui->setupUi(this);
    applyPageStyle(ui->page);
    applyCheckBoxStyle(ui->c_applyToAll);
    // A failed or short read shows "Disable", as the unit starts up with the buttons off.
    ui->cb_bump->clear();
    ui->cb_bump->addItems({tr("Disable"), tr("Enable")});
    // The bump selector keeps its focus events to itself, as it always has.
    bind(ui->cb_bump, QStringLiteral("dimmer.bump"))->consumeFocusEvents = true;

    // The editor belongs to this page but is never shown: only its content widget is, inside the
    // scroll area.
    m_editor = new DimmerScrollWidget(this);

    ui->sa_dimmers->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->sa_dimmers->setAlignment(Qt::AlignCenter);
}

DimmerWidget::~DimmerWidget()
{
    // A page deleted from inside its own refresh (a handler run between two channels) must leave
    // the editor alive until that refresh has unwound; without its fields it stops at once.
    m_editor->releaseFields();
    if (m_editor->isRefreshing())
        m_editor->deleteLater();
    else
        delete m_editor;
    delete ui;
}

void DimmerWidget::setChannelCount(int count)
{
    // setWidget discards the form's placeholder.
    ui->sa_dimmers->setWidget(m_editor->buildChannels(count));
}

DimmerScrollWidget *DimmerWidget::scrollWidget() const
{
    return m_editor;
}

void DimmerWidget::setDebug(Debug *debug)
{
    BaseWidget::setDebug(debug);
    m_editor->setDebug(debug);
}

void DimmerWidget::setSerial(Serial *serial)
{
    BaseWidget::setSerial(serial);
    m_editor->setSerial(serial);
}

void DimmerWidget::refresh()
{
    BaseWidget::refresh();
    m_editor->refresh();
}

void DimmerWidget::on_c_applyToAll_clicked()
{
    m_editor->setApplyToAll(ui->c_applyToAll->isChecked());
}
