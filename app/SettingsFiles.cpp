#include "app/SettingsFiles.h"

#include "app/LoadSettingsDialog.h"
#include "app/MainWindow.h"
#include "files/SettingsApply.h"
#include "files/SettingsFile.h"
#include "link/Serial.h"
#include "ui/PopupMessage.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QString chooseWithDialog(QWidget *parent, bool forSaving, const QString &suggestion)
{
    const QString filter = SettingsFiles::tr("Settings files (*.json);;All files (*)");
    if (forSaving) {
        return QFileDialog::getSaveFileName(parent, SettingsFiles::tr("Save Settings"), suggestion,
                                            filter);
    }
    return QFileDialog::getOpenFileName(parent, SettingsFiles::tr("Load Settings"), suggestion,
                                        filter);
}

} // namespace

SettingsFiles::SettingsFiles(MainWindow *window, QAction *saveAction, QAction *loadAction)
    : QObject(window), m_window(window), m_save(saveAction), m_load(loadAction),
      m_chooser(chooseWithDialog), m_runDialog([](QDialog *dialog) { dialog->exec(); })
{
    connect(m_save, &QAction::triggered, this, &SettingsFiles::save);
    connect(m_load, &QAction::triggered, this, &SettingsFiles::load);
    updateActions();
}

void SettingsFiles::setUnit(const QString &model)
{
    m_model = model;
    updateActions();
}

void SettingsFiles::setAllowed(bool allowed)
{
    m_allowed = allowed;
    updateActions();
}

void SettingsFiles::setFileChooser(FileChooser chooser)
{
    m_chooser = std::move(chooser);
}

void SettingsFiles::setDialogRunner(DialogRunner runner)
{
    m_runDialog = std::move(runner);
}

void SettingsFiles::updateActions()
{
    const bool enabled = m_allowed && catalogue::find(m_model);
    m_save->setEnabled(enabled);
    m_load->setEnabled(enabled);
}

Serial *SettingsFiles::unitChannel() const
{
    Serial *serial = m_window->channel();
    const bool usable = m_allowed && catalogue::find(m_model) && serial && serial->isOpen();
    return usable ? serial : nullptr;
}

void SettingsFiles::message(const QString &text, bool failure)
{
    popupMessage(text, failure ? tr("Settings File Error") : tr("Settings File"),
                 failure ? QMessageBox::Critical : QMessageBox::Information, m_window);
}

void SettingsFiles::save()
{
    const ModelInfo *info = catalogue::find(m_model);
    Serial *serial = unitChannel();
    if (!serial)
        return;
    const QString path =
        m_chooser(m_window, true, QDir::home().filePath(m_model + QStringLiteral(".json")));
    if (path.isEmpty())
        return;
    // A file that cannot be written is found out before the unit is read.
    settingsfile::Writer writer;
    QString why;
    if (!writer.open(path, &why)) {
        message(why, true);
        return;
    }
    m_window->holdPolling();
    const settingsapply::Snapshot snapshot =
        settingsapply::snapshot(*serial, m_model, info->family, QDateTime::currentDateTime());
    if (snapshot.lost) {
        message(tr("The unit stopped answering; nothing was saved."), true);
    } else if (!snapshot.complete()) {
        QStringList keys;
        for (const settingsapply::Snapshot::Unread &unread : snapshot.noValue)
            keys.append(unread.key);
        message(tr("Nothing was saved: the unit gave no value for %1.")
                    .arg(keys.join(QLatin1String(", "))),
                true);
    } else if (!writer.commit(snapshot.contents, &why)) {
        message(why, true);
    } else {
        message(
            tr("Saved %n setting(s) of the %1 to %2.", nullptr, snapshot.contents.settings.size())
                .arg(m_model, QFileInfo(path).fileName()),
            false);
    }
    m_window->resumePolling();
}

void SettingsFiles::load()
{
    const ModelInfo *info = catalogue::find(m_model);
    Serial *serial = unitChannel();
    if (!serial)
        return;
    const QString path = m_chooser(m_window, false, QDir::homePath());
    if (path.isEmpty())
        return;
    // The whole file is checked before anything is sent.
    QString why;
    const std::optional<settingsfile::Contents> contents = settingsfile::load(path, &why);
    if (!contents) {
        message(why, true);
        return;
    }
    const QString refusal = settingsfile::familyRefusal(*contents, info->family);
    if (!refusal.isEmpty()) {
        message(refusal, true);
        return;
    }

    m_window->holdPolling();
    const settingsapply::Plan plan = settingsapply::plan(*serial, info->family, contents->settings);
    if (plan.lost) {
        message(tr("The unit stopped answering; nothing was written."), true);
    } else if (plan.differing().isEmpty()) {
        message(tr("The unit already holds every setting of %1.").arg(QFileInfo(path).fileName()),
                false);
    } else {
        LoadSettingsDialog dialog(
            path, plan,
            [serial, &plan](const QStringList &chosen) {
                return settingsapply::execute(*serial, plan, chosen);
            },
            m_window);
        m_runDialog(&dialog);
    }
    // The first poll after the wait reads the page on screen again.
    m_window->resumePolling();
}
