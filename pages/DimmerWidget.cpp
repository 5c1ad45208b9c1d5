#include "pages/DimmerWidget.h"

#include "pages/DimmerScrollWidget.h"
#include "ui/Theme.h"
#include "ui_DimmerWidget.h"

#include <QEvent>

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

    ui->cb_bump->installEventFilter(this);
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
    QString reply;
    if (serial)
        serial->sendCommand(QStringLiteral("getBumpEnable\n"), reply, 4, 4);
    ui->cb_bump->setCurrentIndex(reply.contains(QLatin1String("nabled")) ? enableIndex
                                                                         : disableIndex);
}

void DimmerWidget::on_cb_bump_activated(const QString &arg1)
{
    if (serial) {
        QString reply;
        serial->sendCommand(arg1.contains(QLatin1String("nable"))
                                ? QStringLiteral("setBumpEnable 1\n")
                                : QStringLiteral("setBumpEnable 0\n"),
                            reply);
    }
    bumpEnableUpdate();
}

void DimmerWidget::on_c_applyToAll_clicked()
{
    m_editor->setApplyToAll(ui->c_applyToAll->isChecked());
}

bool DimmerWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->cb_bump) {
        if (event->type() == QEvent::FocusIn) {
            applyComboGroupFocusStyle(ui->gb_bump, ui->l_bump, ui->cb_bump);
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            applyComboGroupStyle(ui->gb_bump, ui->l_bump, ui->cb_bump);
            return true;
        }
    }
    return BaseWidget::eventFilter(watched, event);
}
