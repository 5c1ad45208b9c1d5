#pragma once

#include "unit/ModelCatalogue.h"

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QDialog;
class QWidget;
class Serial;

// Save Settings and Load Settings of the File menu: a unit's settings to a file the user names,
// and a file's settings to the unit after the user has seen and chosen what differs. Both run on
// the GUI thread through the window's channel while the window's poll and background refresh
// wait; nothing else is written anywhere.
class SettingsFiles : public QObject
{
    Q_OBJECT

public:
    // What the actions need of the window that offers them.
    class Host
    {
    public:
        virtual ~Host() = default;
        // Where messages and dialogs stand.
        virtual QWidget *hostWidget() = 0;
        virtual Serial *channel() const = 0;
        // The poll and the background refresh wait while an action talks to the unit. Resuming
        // polls at once; after a loss the action has reported, that poll lets the unit go quietly.
        virtual void holdPolling() = 0;
        virtual void resumePolling(bool lossReported) = 0;
    };

    SettingsFiles(Host *host, QAction *saveAction, QAction *loadAction);

    // The window tells which unit's pages are on screen (null: none).
    void setUnit(const ModelInfo *model);
    // Off while something else owns the units (the provisioning station).
    void setAllowed(bool allowed);

    // Where the file names come from: a file dialog, or a test.
    using FileChooser =
        std::function<QString(QWidget *parent, bool forSaving, const QString &suggestion)>;
    void setFileChooser(FileChooser chooser);
    // What happens with the load dialog once it is set up: exec() for people, a test's own
    // hands otherwise.
    using DialogRunner = std::function<void(QDialog *dialog)>;
    void setDialogRunner(DialogRunner runner);

public slots:
    void save();
    void load();

private:
    // The unit an action began with: the file dialog's event loop lets the poll and auto-connect
    // run, and another unit may stand on the channel when it closes.
    struct Unit
    {
        const ModelInfo *model = nullptr;
        Serial *channel = nullptr;
        QString uid;
    };
    Unit currentUnit() const;
    // Whether the channel still leads to that unit (model and RDM UID). A closed channel is a
    // loss, which the window reports.
    enum class Standing
    {
        Same,
        Lost,
        Other,
    };
    Standing standing(const Unit &unit) const;
    static QString otherUnitText(const Unit &unit);
    // After the file dialog: true when the action may go on; otherwise it has said why not.
    bool stillThere(const Unit &unit, const QString &nothingDone);
    void updateActions();
    void message(const QString &text, bool failure);

    Host *m_host;
    QAction *m_save;
    QAction *m_load;
    const ModelInfo *m_model = nullptr;
    bool m_allowed = true;
    FileChooser m_chooser;
    DialogRunner m_runDialog;
};
