#include "app/StationWindow.h"
#include "ui_StationWindow.h"

#include "ui/PopupMessage.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QProgressBar>

namespace {

enum Column
{
    PortColumn,
    ModelColumn,
    UidColumn,
    AddressColumn,
    LabelColumn,
    ProgressColumn,
    ResultColumn,
    ColumnCount
};

QString chooseWithDialog(QWidget *parent, StationWindow::FileKind kind)
{
    if (kind == StationWindow::FileKind::Log) {
        return QFileDialog::getSaveFileName(parent, StationWindow::tr("Log File"), QString(),
                                            StationWindow::tr("Logs (*.csv);;All files (*)"),
                                            nullptr, QFileDialog::DontConfirmOverwrite);
    }
    if (kind == StationWindow::FileKind::Plan) {
        return QFileDialog::getOpenFileName(parent, StationWindow::tr("Plan"), QString(),
                                            StationWindow::tr("Plans (*.csv *.mvr)"));
    }
    return QFileDialog::getOpenFileName(parent, StationWindow::tr("Template"), QString(),
                                        StationWindow::tr("Settings files (*.json)"));
}

QString addressText(const provision::Unit &unit)
{
    if (unit.address <= 0)
        return QString();
    if (unit.footprint <= 1)
        return QString::number(unit.address);
    return QStringLiteral("%1-%2").arg(unit.address).arg(unit.lastAddress());
}

} // namespace

StationWindow::StationWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::StationWindow),
      m_station(new provision::Station(this)), m_chooser(chooseWithDialog)
{
    ui->setupUi(this);
    ui->le_record->setText(qEnvironmentVariable("VANTELO_RECORD"));
    applyDialogStyle(this);
    for (QPushButton *button : {ui->pb_start, ui->pb_stop, ui->pb_template714x, ui->pb_template712x,
                                ui->pb_template718x, ui->pb_log, ui->pb_plan})
        applyButtonStyle(button);

    ui->tw_units->setColumnCount(ColumnCount);
    ui->tw_units->setHorizontalHeaderLabels({tr("Port"), tr("Model"), tr("UID"), tr("Address"),
                                             tr("Label"), tr("Progress"), tr("Result")});

    connect(m_station, &provision::Station::unitChanged, this, &StationWindow::showUnit);
    connect(m_station, &provision::Station::unitProgress, this, &StationWindow::showProgress);
    connect(m_station, &provision::Station::unitFinished, this, &StationWindow::showFinished);
    connect(m_station, &provision::Station::finished, this, &StationWindow::stationFinished);
}

StationWindow::~StationWindow()
{
    delete ui;
}

bool StationWindow::isRunning() const
{
    return m_station->isRunning();
}

void StationWindow::setFileChooser(FileChooser chooser)
{
    m_chooser = std::move(chooser);
}

void StationWindow::chooseInto(QLineEdit *edit, FileKind kind)
{
    const QString path = m_chooser(this, kind);
    if (!path.isEmpty())
        edit->setText(path);
}

void StationWindow::on_pb_template714x_clicked()
{
    chooseInto(ui->le_template714x, FileKind::Template);
}

void StationWindow::on_pb_template712x_clicked()
{
    chooseInto(ui->le_template712x, FileKind::Template);
}

void StationWindow::on_pb_template718x_clicked()
{
    chooseInto(ui->le_template718x, FileKind::Template);
}

void StationWindow::on_pb_log_clicked()
{
    chooseInto(ui->le_log, FileKind::Log);
}

void StationWindow::on_pb_plan_clicked()
{
    chooseInto(ui->le_plan, FileKind::Plan);
}

void StationWindow::on_le_plan_textChanged(const QString &path)
{
    // The plan gives every unit its address, universe and label.
    const bool planned = !path.trimmed().isEmpty();
    for (QWidget *field :
         {static_cast<QWidget *>(ui->sb_startAddress), static_cast<QWidget *>(ui->sb_universe),
          static_cast<QWidget *>(ui->le_label)})
        field->setEnabled(!planned);
}

bool StationWindow::buildSetup(provision::Setup &setup, QString *why) const
{
    for (QLineEdit *edit : {ui->le_template714x, ui->le_template712x, ui->le_template718x}) {
        const QString path = edit->text().trimmed();
        if (path.isEmpty())
            continue;
        const std::optional<provision::Template> loaded = provision::loadTemplate(path, why);
        if (!loaded)
            return false;
        setup.templates.append(*loaded);
    }
    if (setup.templates.isEmpty()) {
        *why = tr("Choose a template for at least one family.");
        return false;
    }
    setup.logPath = ui->le_log->text().trimmed();
    if (setup.logPath.isEmpty()) {
        *why = tr("Choose the log file: every unit is recorded there.");
        return false;
    }
    setup.recordUrl = ui->le_record->text().trimmed();
    const QString plan = ui->le_plan->text().trimmed();
    if (!plan.isEmpty()) {
        // A plan refused is refused before the station opens a port.
        setup.plan = patch::readPlan(plan, {}, why);
        if (!setup.plan)
            return false;
    } else {
        if (ui->sb_startAddress->value() > 0)
            setup.startAddress = ui->sb_startAddress->value();
        if (ui->sb_universe->value() > 0)
            setup.universe = ui->sb_universe->value();
        if (!ui->le_label->text().isEmpty())
            setup.labelPattern = ui->le_label->text();
    }
    *why = provision::setupRefusal(setup);
    return why->isEmpty();
}

void StationWindow::setEditable(bool editable)
{
    ui->gb_setup->setEnabled(editable);
    ui->pb_start->setEnabled(editable);
    ui->pb_stop->setEnabled(!editable);
}

void StationWindow::on_pb_start_clicked()
{
    if (isRunning())
        return;
    provision::Setup setup;
    QString why;
    if (!buildSetup(setup, &why)) {
        popupMessage(why, tr("Provision Units"), QMessageBox::Critical, this);
        return;
    }
    ui->tw_units->setRowCount(0);
    m_rows.clear();
    m_passed = m_failed = 0;
    ui->l_result->clear();
    ui->l_result->setStyleSheet(QString());

    // The window lets go of its own unit first, so that the station can open every port.
    emit runningChanged(true);
    provision::Selection selection;
    selection.attached = true;
    if (!m_station->start(setup, selection, true, &why)) {
        emit runningChanged(false);
        popupMessage(why, tr("Provision Units"), QMessageBox::Critical, this);
        return;
    }
    setEditable(false);
    QString status = tr("Waiting for units: plug them in.");
    if (setup.plan && setup.plan->ignored > 0)
        status += tr(" %1 fixture(s) of the plan are of types not ours and not planned (%2).")
                      .arg(setup.plan->ignored)
                      .arg(setup.plan->ignoredTypes.join(QStringLiteral(", ")));
    ui->l_status->setText(status);
}

void StationWindow::on_pb_stop_clicked()
{
    if (!isRunning())
        return;
    ui->pb_stop->setEnabled(false);
    ui->l_status->setText(tr("Stopping after the units in progress…"));
    m_station->stop();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    // Closing is Stop: the units in progress finish and are logged.
    on_pb_stop_clicked();
    event->accept();
}

int StationWindow::rowOf(int id)
{
    const int at = m_rows.indexOf(id);
    if (at >= 0)
        return at;
    const int row = ui->tw_units->rowCount();
    ui->tw_units->insertRow(row);
    for (int c = 0; c < ColumnCount; ++c)
        ui->tw_units->setItem(row, c, new QTableWidgetItem);
    auto *bar = new QProgressBar;
    bar->setRange(0, 1);
    bar->setValue(0);
    ui->tw_units->setCellWidget(row, ProgressColumn, bar);
    m_rows.append(id);
    return row;
}

void StationWindow::showUnit(const provision::Unit &unit)
{
    const int row = rowOf(unit.id);
    ui->tw_units->item(row, PortColumn)->setText(unit.port);
    ui->tw_units->item(row, ModelColumn)->setText(unit.model);
    ui->tw_units->item(row, UidColumn)->setText(unit.uid);
    ui->tw_units->item(row, AddressColumn)->setText(addressText(unit));
    ui->tw_units->item(row, LabelColumn)->setText(unit.labelSet ? unit.label : QString());
}

void StationWindow::showProgress(int id, int done, int total)
{
    auto *bar = qobject_cast<QProgressBar *>(ui->tw_units->cellWidget(rowOf(id), ProgressColumn));
    if (bar && total > 0) {
        bar->setRange(0, total);
        bar->setValue(done);
    }
}

void StationWindow::showFinished(const provision::Unit &unit)
{
    showUnit(unit);
    const int row = rowOf(unit.id);
    QString result = provision::resultName(unit.result);
    if (!unit.failure.isEmpty())
        result += QStringLiteral(": ") + unit.failure;
    ui->tw_units->item(row, ResultColumn)->setText(result);
    if (auto *bar = qobject_cast<QProgressBar *>(ui->tw_units->cellWidget(row, ProgressColumn)))
        bar->setValue(bar->maximum());
    ui->tw_units->resizeColumnsToContents();

    // Only a unit that was worked on gives a verdict; one that is not a unit at all, or one the
    // log already holds, leaves the last verdict standing.
    const bool pass = unit.result == provision::Result::Pass;
    if (!pass && unit.result != provision::Result::Fail)
        return;
    (pass ? m_passed : m_failed) += 1;
    // The verdict large enough to read across the bench, which unit it was for below it.
    ui->l_result->setText(
        QStringLiteral("%1<br><span style=\"font-size: 24px;\">%2 %3</span>")
            .arg(pass ? tr("PASS") : tr("FAIL"), unit.model.toHtmlEscaped(), addressText(unit)));
    applyVerdictStyle(ui->l_result, pass);
    ui->l_status->setText(tr("%1 passed, %2 failed.").arg(m_passed).arg(m_failed));
}

void StationWindow::stationFinished()
{
    setEditable(true);
    ui->l_status->setText(tr("Stopped: %1 passed, %2 failed.").arg(m_passed).arg(m_failed));
    emit runningChanged(false);
}
