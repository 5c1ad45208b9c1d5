#pragma once

#include "files/SettingsApply.h"

#include <QDialog>
#include <QStringList>

#include <functional>

namespace Ui {
class LoadSettingsDialog;
}

// What loading a settings file would change on the unit, before anything is written: one row
// per setting that differs (the unit's value and the file's), each with a check box. Apply writes
// the checked rows and the dialog then shows each row's result.
class LoadSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    using Executor = std::function<settingsapply::Report(const QStringList &chosen)>;

    LoadSettingsDialog(const QString &fileName, const settingsapply::Plan &plan, Executor execute,
                       QWidget *parent = nullptr);
    ~LoadSettingsDialog() override;

    QStringList chosenKeys() const;
    void setChosen(const QString &key, bool chosen);
    // Whether Apply ran (the result column is shown).
    bool applied() const { return m_applied; }
    const settingsapply::Report &report() const { return m_report; }

private slots:
    void on_pb_apply_clicked();
    void on_pb_close_clicked();
    void on_c_all_clicked(bool checked);

private:
    void showResults();

    Ui::LoadSettingsDialog *ui;
    settingsapply::Plan m_plan;
    Executor m_execute;
    QStringList m_keys; // the rows' keys, top to bottom
    settingsapply::Report m_report;
    bool m_applied = false;
};
