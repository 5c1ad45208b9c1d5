#include "app/RigRecordWindow.h"
#include "ui_RigRecordWindow.h"

#include "record/Record.h"
#include "record/RecordMap.h"
#include "station/RigExport.h"
#include "ui/Theme.h"

#include <QFileDialog>
#include <QHeaderView>

namespace {

enum UnitColumn
{
    UidColumn,
    ModelColumn,
    UniverseColumn,
    AddressColumn,
    FootprintColumn,
    LabelColumn,
    StationColumn,
    TimeColumn,
    UnitColumnCount
};

QString chooseRecordFile(QWidget *parent, bool forExport)
{
    if (!forExport) {
        return QFileDialog::getOpenFileName(
            parent, RigRecordWindow::tr("Rig Record"), QString(),
            RigRecordWindow::tr("Records (*.db *.sqlite);;All files (*)"));
    }
    const QString mvr = RigRecordWindow::tr("MVR scene (*.mvr)");
    QString filter = mvr;
    QString path = QFileDialog::getSaveFileName(
        parent, RigRecordWindow::tr("Export Patch"), QString(),
        mvr + QStringLiteral(";;") + RigRecordWindow::tr("CSV patch (*.csv)"), &filter);
    // The extension picks the format; a name typed without one takes the filter's.
    if (!path.isEmpty() && !rig::exportableName(path))
        path += filter == mvr ? QStringLiteral(".mvr") : QStringLiteral(".csv");
    return path;
}

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

void fillRow(QTableWidget *table, int row, const QStringList &texts)
{
    for (int column = 0; column < texts.size(); ++column)
        table->setItem(row, column, cell(texts.at(column)));
}

} // namespace

RigRecordWindow::RigRecordWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), ui(new Ui::RigRecordWindow), m_chooser(chooseRecordFile)
{
    ui->setupUi(this);
    applyDialogStyle(this);
    for (QPushButton *button : {ui->pb_record, ui->pb_open, ui->pb_export})
        applyButtonStyle(button);
    ui->tw_units->setColumnCount(UnitColumnCount);
    ui->tw_units->setHorizontalHeaderLabels({tr("UID"), tr("Model"), tr("Universe"), tr("Address"),
                                             tr("Footprint"), tr("Label"), tr("Station"),
                                             tr("Time")});
    ui->tw_history->setColumnCount(4);
    ui->tw_history->setHorizontalHeaderLabels(
        {tr("Time"), tr("Result"), tr("Station"), tr("Slot, and what changed")});
    for (QTableWidget *table : {ui->tw_units, ui->tw_history})
        table->horizontalHeader()->setStretchLastSection(true);
    ui->pb_export->setEnabled(false);

    connect(ui->le_record, &QLineEdit::returnPressed, this, &RigRecordWindow::openRecord);
    connect(ui->sb_universe, qOverload<int>(&QSpinBox::valueChanged), this,
            &RigRecordWindow::showUnits);
    connect(ui->tw_units, &QTableWidget::itemSelectionChanged, this,
            &RigRecordWindow::showSelected);
}

RigRecordWindow::~RigRecordWindow()
{
    delete ui;
}

void RigRecordWindow::setFileChooser(FileChooser chooser)
{
    m_chooser = std::move(chooser);
}

void RigRecordWindow::on_pb_record_clicked()
{
    const QString path = m_chooser(this, false);
    if (path.isEmpty())
        return;
    ui->le_record->setText(path);
    openRecord();
}

void RigRecordWindow::on_pb_open_clicked()
{
    openRecord();
}

bool RigRecordWindow::openRecord()
{
    auto opened = std::make_unique<record::Record>();
    const QString url = ui->le_record->text().trimmed();
    if (url.isEmpty() || !opened->open(url)) {
        setStatus(url.isEmpty() ? tr("Name a record: a file, or a postgresql:// URL")
                                : opened->errorString(),
                  true);
        return false;
    }
    m_record = std::move(opened);
    setStatus(m_record->redactedUrl(), false);
    ui->pb_export->setEnabled(true);
    showUnits();
    return true;
}

std::optional<int> RigRecordWindow::universeFilter() const
{
    const int universe = ui->sb_universe->value();
    return universe > 0 ? std::optional<int>(universe) : std::nullopt;
}

void RigRecordWindow::showUnits()
{
    ui->tw_units->setRowCount(0);
    ui->tw_history->setRowCount(0);
    if (!m_record)
        return;
    const auto held = m_record->units(universeFilter());
    if (!held) {
        setStatus(m_record->errorString(), true);
        return;
    }
    ui->tw_units->setRowCount(held->size());
    for (int row = 0; row < held->size(); ++row) {
        const record::HeldSlot &h = held->at(row);
        fillRow(ui->tw_units, row,
                {h.uid, h.model, QString::number(h.universe), QString::number(h.address),
                 QString::number(h.footprint), h.label, h.station, h.time});
    }
    ui->tw_units->resizeColumnsToContents();
    showMap(universeFilter());
}

void RigRecordWindow::showSelected()
{
    ui->tw_history->setRowCount(0);
    const QList<QTableWidgetItem *> selected = ui->tw_units->selectedItems();
    if (!m_record || selected.isEmpty())
        return;
    const int row = selected.first()->row();
    const QString uid = ui->tw_units->item(row, UidColumn)->text();
    const auto entries = m_record->history(uid);
    if (!entries) {
        setStatus(m_record->errorString(), true);
        return;
    }
    ui->tw_history->setRowCount(entries->size());
    for (int i = 0; i < entries->size(); ++i) {
        const record::HistoryEntry &e = entries->at(i);
        QStringList what = {tr("universe %1 address %2+%3 \"%4\"")
                                .arg(e.placement.universe)
                                .arg(e.placement.address)
                                .arg(e.placement.footprint)
                                .arg(e.placement.label)};
        what += e.pass ? e.changes : QStringList{e.reason};
        fillRow(
            ui->tw_history, i,
            {e.time, e.pass ? tr("PASS") : tr("FAIL"), e.station, what.join(QLatin1String("; "))});
    }
    ui->tw_history->resizeColumnsToContents();
    if (!universeFilter())
        showMap(ui->tw_units->item(row, UniverseColumn)->text().toInt());
}

void RigRecordWindow::showMap(std::optional<int> universe)
{
    ui->l_map->setText(universe ? tr("Universe %1").arg(*universe)
                                : tr("Choose a universe or a unit to see its map"));
    const auto map = universe && m_record ? m_record->map(*universe) : std::nullopt;
    ui->w_map->load(map ? record::mapSvg(*map) : QByteArray());
    ui->w_map->setVisible(bool(map));
}

void RigRecordWindow::on_pb_export_clicked()
{
    if (!m_record)
        return;
    const QString path = m_chooser(this, true);
    if (path.isEmpty())
        return;
    const std::optional<int> universe = universeFilter();
    const rig::Outcome outcome =
        rig::exportHeld(*m_record, universe ? QList<int>{*universe} : QList<int>(), path);
    setStatus(outcome.message, outcome.kind != rig::Outcome::Written);
}

void RigRecordWindow::setStatus(const QString &text, bool problem)
{
    ui->l_status->setText(text);
    ui->l_status->setStyleSheet(problem ? QStringLiteral("color: #c0392b;") : QString());
}
