#pragma once

#include "app/MainWindow.h"
#include "app/PageSets.h"
#include "link/Serial.h"
#include "pages/BaseWidget.h"
#include "server/PtyServer.h"
#include "unit/ModelCatalogue.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include <memory>

class QLabel;

// A simulated unit on a pseudo-terminal in seeded state 1, with a channel opened on it and told
// its family prompt, as the program has it after identification. The log starts empty.
struct Unit
{
    explicit Unit(const QString &model);
    QStringList log() const { return server.commandLog(); }

    sim::PtyServer server;
    Serial serial;
    bool ready = false;
};

// Every value a page displays, in widget order: "name=text" for line edits and device labels
// (lc_...), "name#index" for combo boxes, "name[x]caption" for check boxes; the dimmer's channel
// fields are named "group/index". A field with the keyboard focus ends in "*", one hidden on the
// page in "~".
QStringList pageSnapshot(const QWidget *page);

// The model's page set as the program builds and wires it (without the window) on a Unit; page is
// the one of the given class.
struct PageRig : Unit
{
    PageRig(const QString &model, const QString &pageClass);
    ~PageRig();
    // By object name, or a dimmer channel's field by "group/index".
    QWidget *field(const QString &key) const;
    // Focus only moves inside the active window: shows and activates the page first.
    bool focus(QWidget *widget);

    QList<BaseWidget *> pages;
    BaseWidget *page = nullptr;
};

// While alive, records every message box once (its timer also runs inside the box's own event
// loop) and presses its OK button.
struct ModalCatcher
{
    struct Message
    {
        QString title, text;
    };
    ModalCatcher();
    bool waitForCount(int n, int timeoutMs = 5000);
    // Messages whose title or text is this.
    int count(const QString &titleOrText) const;
    int count() const { return messages.size(); }
    Message last() const { return messages.last(); }
    static QMessageBox *openBox();
    static void closeOpenBoxes();

    QList<Message> messages;
    QTimer timer;
};

// Which status picture a label shows: "connected", "unconnected", "wait0".."wait7" or "other".
QString statusPicture(const QLabel *label);

// The whole program against a simulated unit listed as a USB port of its family: message boxes
// answered and recorded, and two witnesses. The stall meter gives the longest time the GUI thread
// went without getting back to an event loop, the wait still in progress included: a transaction
// that never ends shows up there, where a QTRY_* would only time out without saying why. Losses
// hold, for each "Serial port disconnected" box, what was wrong with the window the moment it came
// up (empty when it stood as it should): boxes are answered at once and auto-connect may rebuild
// the pages right after, so a later look could miss the port page that should have been there.
class AppRig : public QObject
{
public:
    explicit AppRig(const QString &model, const QVector<PageFamily> &families = pageFamilies());
    ~AppRig() override;

    // Starts the unit and the window; with wait, until the first page has been read.
    bool start(bool wait = true);
    // Plugs the unit back in if needed, lets the port page connect, waits for the pages.
    bool reconnect();
    bool isConnected() const;
    bool isOnPortPage() const;
    // Presses and releases navigation button i: the page comes up and is read.
    void showPage(int i);
    // Queues one run of the connection poll, as its timer would.
    void pollSoon();
    // Waits for a loss after the first `before`; empty if the window stood as it should.
    QString waitForLoss(int before, int timeoutMs = 4000);
    void resetStall();
    qint64 longestStallMs() const;

    const QString model;
    QString error;
    sim::PtyServer server;
    ModalCatcher catcher;
    QStringList losses;
    std::unique_ptr<MainWindow> window;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool waitConnected(int foundBefore);
    QVector<PageFamily> m_families;
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// The port source test's names for the window against a unit it lists itself.
struct AppHarness : AppRig
{
    using AppRig::AppRig;
    void createWindow()
    {
        catcher.timer.stop(); // the test has a catcher of its own
        window = std::make_unique<MainWindow>();
        window->show();
    }
};
