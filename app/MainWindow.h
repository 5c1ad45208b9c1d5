#pragma once

#include "app/PageSets.h"
#include "app/SettingsFiles.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

class BaseWidget;
class Debug;
class Manual;
class QCloseEvent;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTimer;
class Serial;
class SerialPortWidget;
class StationWindow;
class RigRecordWindow;

namespace session {
struct Result;
}

namespace Ui {
class MainWindow;
}

// The one main window: owns the command channel, the port page, the log window, the guide viewer
// and the two timers, builds a model's pages with their navigation buttons, polls the device and
// keeps the page on screen current.
class MainWindow : public QMainWindow, public SettingsFiles::Host
{
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    void switchToPortPage(bool portPage);
    void shutDown();

    // Something else talks to the unit through the window's channel for a while (a settings
    // file being saved or loaded): the poll and the background refresh wait. Resuming polls at
    // once, and that poll reads the page on screen again; a loss the other party has reported
    // already takes the window to the port page without a message of its own.
    void holdPolling() override;
    void resumePolling(bool lossReported = false) override;
    QWidget *hostWidget() override { return this; }

    // The provisioning station owns every unit while it runs: the window lets go of its own,
    // shows the port page with connecting switched off and reports no disconnection; afterwards
    // it connects by itself as at start-up.
    void setStationRunning(bool running);
    StationWindow *stationWindow();
    // File, Rig Record…: made on first use, like the station.
    RigRecordWindow *rigRecordWindow();

    // The page sets used for the next announcement; the program's own table by default.
    void setPageFamilies(const QVector<PageFamily> &families);
    // What ends the program after Cancel; QCoreApplication::exit by default.
    void setExitHandler(std::function<void(int code)> handler);

    // For tests and diagnostics.
    const QList<BaseWidget *> &devicePages() const { return pages; }
    const QList<QPushButton *> &navigationButtons() const { return navButtons; }
    Serial *channel() const override { return serial; }
    SerialPortWidget *portPage() const { return serialPortWidget; }
    QStackedWidget *pageStack() const;
    QLabel *statusIcon() const;
    Manual *guideViewer() const { return manual; }
    SettingsFiles *settingsFiles() const { return m_settingsFiles; }
    QTimer *connectionPollTimer() const { return pollTimer; }
    QTimer *backgroundRefreshTimer() const { return refreshTimer; }
    // Pages and buttons that have left the window but wait for a refresh to finish.
    int pendingDeletions() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void buttonPressed();
    void buttonReleased();
    void on_actionSerial_Ports_triggered();
    void on_actionAbout_triggered();
    void rdmUpdate();
    void usbUpdate();
    void on_actionQuick_Start_Guide_triggered();
    void unitConnected(const session::Result &unit);
    void unitDisconnected();
    void cancelled();
    void iconUpdate();

private:
    void buildPages(const ModelInfo &model);
    void deletePages();
    void clearNavButtons();
    BaseWidget *pageOnScreen() const;
    void refreshPage(BaseWidget *page);
    void retire(QObject *object);
    void scheduleGraveyardFlush();
    void flushGraveyard();

    Ui::MainWindow *ui;
    QList<BaseWidget *> pages;
    QList<QPushButton *> navButtons;
    // The objects whose progress drives the wait animation (the dimmer page's editor, not the
    // page itself).
    QList<QPointer<BaseWidget>> progressSources;
    int portPageIndex = 0;
    int refreshInterval = 5000;
    int pollInterval = 1000;
    int navButtonHeight = 50;
    int navStripX = 10;
    int navStripY = 0;
    int navStripEnd = 330;
    Debug *debug = nullptr;
    Manual *manual = nullptr;
    Serial *serial = nullptr;
    SerialPortWidget *serialPortWidget = nullptr;
    bool deviceFound = false;
    QTimer *refreshTimer = nullptr;
    QTimer *pollTimer = nullptr;
    SettingsFiles *m_settingsFiles = nullptr;
    StationWindow *m_station = nullptr;
    RigRecordWindow *m_rigRecord = nullptr;

    QVector<PageFamily> families;
    std::function<void(int)> exitHandler;
    bool shutDownDone = false;

    // A page's refresh can let events run (the dimmer editor does, between channels), and a
    // poll, a click or a menu action handled there may discard the pages. Discarded objects wait
    // here until no refresh is on the call stack.
    int refreshDepth = 0;
    QSet<BaseWidget *> refreshing;
    QList<QPointer<QObject>> graveyard;
    bool flushScheduled = false;
    // Counts page-set changes, so a step that waited in a message box can tell whether the pages
    // it built are still the current ones.
    int pageGeneration = 0;
};
