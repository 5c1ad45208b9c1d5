#pragma once

#include "unit/ModelCatalogue.h"

#include <QObject>
#include <QString>

#include <functional>

class MainWindow;
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
    SettingsFiles(MainWindow *window, QAction *saveAction, QAction *loadAction);

    // The window tells which unit's pages are on screen (an empty model: none).
    void setUnit(const QString &model);
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
    void updateActions();
    // The window's channel while a supported unit's pages are shown and nothing else owns it.
    Serial *unitChannel() const;
    void message(const QString &text, bool failure);

    MainWindow *m_window;
    QAction *m_save;
    QAction *m_load;
    QString m_model;
    bool m_allowed = true;
    FileChooser m_chooser;
    DialogRunner m_runDialog;
};
