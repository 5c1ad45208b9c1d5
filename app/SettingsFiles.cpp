#include "app/SettingsFiles.h"

#include "app/LoadSettingsDialog.h"
#include "files/SettingsApply.h"
#include "files/SettingsFile.h"
#include "link/Serial.h"
#include "ui/PopupMessage.h"
#include "unit/DeviceSettings.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QString chooseSettingsFile(QWidget *parent, bool forSaving, const QString &suggestion)
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

SettingsFiles::SettingsFiles(Host *host, QAction *saveAction, QAction *loadAction)
    : QObject(host->hostWidget()), m_host(host), m_save(saveAction), m_load(loadAction),
      m_chooser(chooseSettingsFile), m_runDialog([](QDialog *dialog) { dialog->exec(); })
{
    connect(m_save, &QAction::triggered, this, &SettingsFiles::save);
    connect(m_load, &QAction::triggered, this, &SettingsFiles::load);
    updateActions();
}

void SettingsFiles::setUnit(const ModelInfo *model)
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
    m_save->setEnabled(m_allowed && m_model);
    m_load->setEnabled(m_allowed && m_model);
}

namespace {

settings::Reading readIdentity(Serial &serial, Family family, const char *key)
{
    const settings::Setting *row = settings::find(family, QLatin1String(key));
    return row ? settings::read(serial, *row) : settings::Reading();
}

} // namespace

SettingsFiles::Unit SettingsFiles::currentUnit() const
{
    Serial *serial = m_host->channel();
    if (!m_allowed || !m_model || !serial || !serial->isOpen())
        return Unit();
    return {m_model, serial, readIdentity(*serial, m_model->family, "identity.uid").words};
}

SettingsFiles::Standing SettingsFiles::standing(const Unit &unit) const
{
    Serial *serial = m_host->channel();
    if (!m_allowed || serial != unit.channel || !serial || !serial->isOpen())
        return Standing::Lost;
    const QString model = readIdentity(*serial, unit.model->family, "identity.model").words;
    const QString uid = readIdentity(*serial, unit.model->family, "identity.uid").words;
    if (!serial->isOpen())
        return Standing::Lost;
    return catalogue::find(model) == unit.model && uid == unit.uid ? Standing::Same
                                                                   : Standing::Other;
}

QString SettingsFiles::otherUnitText(const Unit &unit)
{
    return tr("The %1 with RDM UID %2 is no longer the unit on the port.")
        .arg(unit.model->number, unit.uid);
}

bool SettingsFiles::stillThere(const Unit &unit, const QString &nothingDone)
{
    const Standing now = standing(unit);
    // A unit that went while the dialog was open has been reported by the window already.
    if (now == Standing::Other)
        message(otherUnitText(unit) + QLatin1Char(' ') + nothingDone, true);
    return now == Standing::Same;
}

void SettingsFiles::message(const QString &text, bool failure)
{
    popupMessage(text, failure ? tr("Settings File Error") : tr("Settings File"),
                 failure ? QMessageBox::Critical : QMessageBox::Information, m_host->hostWidget());
}

void SettingsFiles::save()
{
    const Unit unit = currentUnit();
    if (!unit.channel)
        return;
    const QString path =
        m_chooser(m_host->hostWidget(), true,
                  QDir::home().filePath(unit.model->number + QStringLiteral(".json")));
    if (path.isEmpty())
        return;
    m_host->holdPolling();
    if (!stillThere(unit, tr("Nothing was saved."))) {
        m_host->resumePolling(false);
        return;
    }
    // A file that cannot be written is found out before the unit is read.
    settingsfile::Writer writer;
    QString why;
    if (!writer.open(path, &why)) {
        message(why, true);
        m_host->resumePolling(false);
        return;
    }
    const settingsapply::Snapshot snapshot = settingsapply::snapshot(
        *unit.channel, unit.model->number, unit.model->family, QDateTime::currentDateTime());
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
                .arg(unit.model->number, QFileInfo(path).fileName()),
            false);
    }
    m_host->resumePolling(snapshot.lost);
}

void SettingsFiles::load()
{
    const Unit unit = currentUnit();
    if (!unit.channel)
        return;
    const QString path = m_chooser(m_host->hostWidget(), false, QDir::homePath());
    if (path.isEmpty())
        return;
    // The whole file is checked before anything is sent.
    QString why;
    const std::optional<settingsfile::Contents> contents = settingsfile::load(path, &why);
    if (!contents) {
        message(why, true);
        return;
    }
    const QString refusal = settingsfile::familyRefusal(*contents, unit.model->family);
    if (!refusal.isEmpty()) {
        message(refusal, true);
        return;
    }

    m_host->holdPolling();
    if (!stillThere(unit, tr("Nothing was written."))) {
        m_host->resumePolling(false);
        return;
    }
    const settingsapply::Plan plan =
        settingsapply::plan(*unit.channel, unit.model->family, contents->settings);
    bool lost = plan.lost;
    if (plan.lost) {
        message(tr("The unit stopped answering; nothing was written."), true);
    } else if (plan.differing().isEmpty()) {
        message(tr("The unit already holds every setting of %1.").arg(QFileInfo(path).fileName()),
                false);
    } else {
        LoadSettingsDialog dialog(
            path, plan,
            [this, &unit, &plan, &lost](const QStringList &chosen) {
                // The list may stand open for long; the unit is asked again before the writes.
                settingsapply::Report report;
                const Standing now = standing(unit);
                if (now == Standing::Same)
                    report = settingsapply::execute(*unit.channel, plan, chosen);
                else
                    report.refused =
                        now == Standing::Lost ? tr("the unit is gone.") : otherUnitText(unit);
                lost = report.lost || now == Standing::Lost;
                return report;
            },
            m_host->hostWidget());
        m_runDialog(&dialog);
    }
    // The first poll after the wait reads the page on screen again; a loss the dialog has shown
    // is not reported a second time.
    m_host->resumePolling(lost);
}
