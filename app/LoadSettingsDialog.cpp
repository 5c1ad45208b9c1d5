#include "app/LoadSettingsDialog.h"
#include "ui_LoadSettingsDialog.h"

#include "ui/Theme.h"

#include <QFileInfo>
#include <QHeaderView>

namespace {

enum Column
{
    SettingColumn,
    UnitColumn,
    FileColumn,
    ResultColumn
};

QString shown(const settings::Setting &setting, const std::optional<settings::Value> &value,
              const QString &words)
{
    if (value)
        return settings::toText(setting, *value);
    return LoadSettingsDialog::tr("no value (%1)").arg(words);
}

QString resultText(const settingsapply::Result &row)
{
    using settingsapply::Status;
    switch (row.status) {
    case Status::Unchanged:
        return LoadSettingsDialog::tr("unchanged");
    case Status::Written:
        return LoadSettingsDialog::tr("written");
    case Status::Failed:
        return LoadSettingsDialog::tr("FAILED: unit holds %1")
            .arg(shown(*row.setting, row.after, row.afterWords));
    case Status::Skipped:
        return LoadSettingsDialog::tr("not chosen");
    case Status::NotWritten:
        return LoadSettingsDialog::tr("not written");
    case Status::NotVerified:
        return LoadSettingsDialog::tr("sent, not verified");
    }
    return QString();
}

} // namespace

LoadSettingsDialog::LoadSettingsDialog(const QString &fileName, const settingsapply::Plan &plan,
                                       Executor execute, QWidget *parent)
    : QDialog(parent), ui(new Ui::LoadSettingsDialog), m_plan(plan), m_execute(std::move(execute))
{
    ui->setupUi(this);
    applyDialogStyle(this);
    applyButtonStyle(ui->pb_apply);
    applyButtonStyle(ui->pb_close);
    applyCheckBoxStyle(ui->c_all);

    const QStringList differing = m_plan.differing();
    ui->l_summary->setText(tr("%n setting(s) of %1 differ from the unit. The checked ones are "
                              "written, then every setting of the file is read back.",
                              nullptr, differing.size())
                               .arg(QFileInfo(fileName).fileName()));
    ui->tw_settings->setColumnCount(3);
    ui->tw_settings->setHorizontalHeaderLabels({tr("Setting"), tr("Unit"), tr("File")});
    for (const settingsapply::Row &row : qAsConst(m_plan.rows)) {
        if (!differing.contains(row.setting->key))
            continue;
        const int at = ui->tw_settings->rowCount();
        ui->tw_settings->insertRow(at);
        auto *key = new QTableWidgetItem(row.setting->key);
        key->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        key->setCheckState(Qt::Checked);
        ui->tw_settings->setItem(at, SettingColumn, key);
        ui->tw_settings->setItem(
            at, UnitColumn, new QTableWidgetItem(shown(*row.setting, row.unit, row.unitWords)));
        ui->tw_settings->setItem(at, FileColumn,
                                 new QTableWidgetItem(settings::toText(*row.setting, row.wanted)));
        m_keys.append(row.setting->key);
    }
    ui->tw_settings->resizeColumnsToContents();
}

LoadSettingsDialog::~LoadSettingsDialog()
{
    delete ui;
}

QStringList LoadSettingsDialog::chosenKeys() const
{
    QStringList keys;
    for (int r = 0; r < m_keys.size(); ++r) {
        if (ui->tw_settings->item(r, SettingColumn)->checkState() == Qt::Checked)
            keys.append(m_keys.at(r));
    }
    return keys;
}

void LoadSettingsDialog::setChosen(const QString &key, bool chosen)
{
    const int r = m_keys.indexOf(key);
    if (r >= 0)
        ui->tw_settings->item(r, SettingColumn)
            ->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
}

void LoadSettingsDialog::on_c_all_clicked(bool checked)
{
    for (const QString &key : qAsConst(m_keys))
        setChosen(key, checked);
}

void LoadSettingsDialog::on_pb_apply_clicked()
{
    if (m_applied)
        return;
    m_applied = true;
    ui->pb_apply->setEnabled(false);
    ui->c_all->setEnabled(false);
    m_report = m_execute(chosenKeys());
    showResults();
}

void LoadSettingsDialog::showResults()
{
    ui->tw_settings->setColumnCount(4);
    ui->tw_settings->setHorizontalHeaderItem(ResultColumn, new QTableWidgetItem(tr("Result")));
    for (int r = 0; r < m_keys.size(); ++r) {
        auto *key = ui->tw_settings->item(r, SettingColumn);
        key->setFlags(Qt::ItemIsEnabled);
        for (const settingsapply::Result &result : qAsConst(m_report.rows)) {
            if (result.setting->key == m_keys.at(r)) {
                ui->tw_settings->setItem(r, ResultColumn, new QTableWidgetItem(resultText(result)));
            }
        }
    }
    ui->tw_settings->resizeColumnsToContents();

    const QStringList failed = m_report.withStatus(settingsapply::Status::Failed);
    const QStringList skipped = m_report.withStatus(settingsapply::Status::Skipped);
    QString summary;
    if (!m_report.refused.isEmpty())
        summary = tr("Nothing was written: %1").arg(m_report.refused);
    else if (m_report.lost)
        summary = tr("The unit stopped answering at %1. The rows say what was written and "
                     "verified before that.")
                      .arg(m_report.lostAt);
    else if (!failed.isEmpty())
        summary = tr("%n setting(s) did not take: the unit holds something else.", nullptr,
                     failed.size());
    else if (!skipped.isEmpty())
        summary = tr("The chosen settings were written and read back; %n setting(s) not chosen "
                     "still differ.",
                     nullptr, skipped.size());
    else
        summary = tr("Every setting of the file was read back from the unit.");
    ui->l_summary->setText(summary);
    ui->pb_close->setText(tr("Close"));
}

void LoadSettingsDialog::on_pb_close_clicked()
{
    if (m_applied)
        accept();
    else
        reject();
}
