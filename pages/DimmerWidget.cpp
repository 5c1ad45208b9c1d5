#include "pages/DimmerWidget.h"

#include "pages/DimmerScrollWidget.h"
#include "pages/FieldFocus.h"
#include "ui/Theme.h"
#include "ui_DimmerWidget.h"

DimmerWidget::DimmerWidget(QWidget *parent)
    : BaseWidget(parent), ui(new Ui::DimmerWidget), m_editor(nullptr)
{
    ui->setupUi(this);
    applyPageStyle(ui->page);
    applyComboGroupStyle(ui->gb_bump, ui->l_bump, ui->cb_bump);
    applyCheckBoxStyle(ui->c_applyToAll);

    ui->cb_bump->clear();
    ui->cb_bump->insertItem(disableIndex, tr("Disable"));
    ui->cb_bump->insertItem(enableIndex, tr("Enable"));

    // The editor belongs to this page but is never shown: only its content widget is, inside the
    // scroll area.
    m_editor = new DimmerScrollWidget(this);

    ui->sa_dimmers->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui->sa_dimmers->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->sa_dimmers->setWidgetResizable(false);
    ui->sa_dimmers->setAlignment(Qt::AlignCenter);

    // The bump selector keeps its focus events to itself, as it always has, and now has the
    // wheel guard every other selector has: in Qt 5 a wheel over it picks an entry and so wrote
    // the setting while the user only scrolled the page.
    FieldFocus::watch(ui->gb_bump, ui->l_bump, ui->cb_bump, FieldFocus::FocusEvents::Consume);
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
    bumpEnableUpdate();
    m_editor->refresh();
}

void DimmerWidget::bumpEnableUpdate()
{
    // A failed or short read shows "Disable", as the unit starts up with the buttons off.
    const settings::Reading reading = readSetting(QStringLiteral("dimmer.bump"));
    const bool enabled = reading.value && reading.value->toBool();
    ui->cb_bump->setCurrentIndex(enabled ? enableIndex : disableIndex);
}

void DimmerWidget::on_cb_bump_activated(const QString &arg1)
{
    sendUserText(QStringLiteral("dimmer.bump"),
                 arg1.contains(QLatin1String("nable")) ? QStringLiteral("1") : QStringLiteral("0"));
    bumpEnableUpdate();
}

void DimmerWidget::on_c_applyToAll_clicked()
{
    m_editor->setApplyToAll(ui->c_applyToAll->isChecked());
}
