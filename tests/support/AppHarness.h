#pragma once

#include "app/MainWindow.h"
#include "app/PageSets.h"
#include "pages/BaseWidget.h"
#include "server/PtyServer.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;

// A simulated device presented to the port page as a USB port of vendor 1155 (listed only
// while its pseudo-terminal exists, as an unplugged device drops out of the system's list),
// and a main window that finds it the way the program does at start-up.
class AppHarness
{
public:
    explicit AppHarness(const QString &model, quint16 productId = 7146);
    ~AppHarness();

    // Starts the simulator and installs the port lister; false with lastError on failure.
    bool startDevice();
    // Creates and shows the window; its first poll runs as soon as events are processed.
    MainWindow *createWindow(const QVector<PageFamily> *families = nullptr);
    QString lastError() const { return m_error; }

    // Index in the command log of the first entry at or after from that starts with command (an
    // empty command finds the bare line break of a poll); -1 if none.
    int indexOf(const QString &command, int from = 0) const;

    sim::PtyServer server;
    std::unique_ptr<MainWindow> window;

private:
    QString m_model;
    quint16 m_productId;
    QString m_error;
};

// Which of the status pictures a label shows: "connected", "unconnected", "wait0".."wait7",
// "empty", or "other".
QString statusPicture(const QLabel *label);
// True when the ten status pictures are distinct images, so statusPicture can tell them apart.
bool statusPicturesDistinct();

// A page for the shell's own tests: its refresh sends a scripted list of commands and, between
// them, reports progress, runs a hook and lets events run for a while, as the dimmer channel
// editor does.
class AppTestPage : public BaseWidget
{
    Q_OBJECT

public:
    struct Script
    {
        QStringList commands;
        int pauseMs = 0; // events run for this long after each command
        // Called after each command (step counts from 0), before the pause.
        std::function<void(AppTestPage *page, int step)> between;
    };

    explicit AppTestPage(const Script &script, QWidget *parent = nullptr);
    ~AppTestPage() override;

    void refresh() override;

    int refreshCount() const { return m_refreshCount; }
    int maxNesting() const { return m_maxNesting; }
    bool isRefreshing() const { return m_nesting > 0; }
    QStringList replies() const { return m_replies; }

    // Pages destroyed while their own refresh was still running, over the whole process.
    static int destroyedWhileRefreshing;
    static int liveCount;

private:
    Script m_script;
    int m_refreshCount = 0;
    int m_nesting = 0;
    int m_maxNesting = 0;
    QStringList m_replies;
};

// A family of count test pages for the given model numbers, buttons named "T0", "T1", ...
PageFamily testFamily(const QStringList &modelNumbers, int count,
                      const AppTestPage::Script &script);
