#pragma once

#include "support/AppHarness.h"
#include "support/ModalCatcher.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QWidget;

// The longest time the GUI thread went without getting back to an event loop (the main one or a
// message box's nested one): a blocking transaction that never ends shows up here as a stall,
// where a QTRY_* would only time out without saying why.
class StallMeter : public QObject
{
    Q_OBJECT

public:
    StallMeter();
    void reset();
    // Counts the wait still going on too: a caller blocked since the last tick is stalled.
    qint64 longestStallMs() const;

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// The window as it stood at the moment each "Serial port disconnected" box came up. Boxes are
// answered at once and auto-connect may rebuild the pages right after, so a test that looked
// later could miss the port page it should have seen.
class LossWitness : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        bool portPage = false;
        QString icon;
        bool channelOpen = true;
        bool lockFree = false;
    };

    explicit LossWitness(std::function<Seen()> look);
    ~LossWitness() override;
    QList<Seen> seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<Seen()> m_look;
};

// One device family as the fault tests see it: a model of it, the USB product identifier its
// port is listed with, and its four pages in navigation order.
struct FaultFamily
{
    QString name;
    QString model;
    quint16 productId;
    QStringList pageClasses;
};

// Two sets of device settings that differ in every value a page shows (the second with labels
// outside ASCII), so a page that failed to read is caught showing the other set.
void applyFaultSettings(sim::DeviceState &s, bool second);

// The 5-channel dimmer, the 2-channel dimmer and the receiver card.
const QList<FaultFamily> &faultFamilies();
const FaultFamily *faultFamily(const QString &model);

// The whole program against a simulated device: a shown main window that found the device on
// its own, message boxes answered and recorded, and a stall meter running.
class FaultRig
{
public:
    explicit FaultRig(const FaultFamily &family);
    ~FaultRig();

    // Starts the device and the window and waits until the first page has been read.
    bool connect();
    // After the device was lost: brings it back if it is unplugged, lets the port page connect
    // as it does each time it comes up, and waits for the new pages to be read.
    bool reconnect();
    // Pages built, on screen, polled and background-refreshed over an open channel.
    bool isConnected() const;
    // Back on the port page with no pages left in the window.
    bool isOnPortPage() const;

    // Presses and releases navigation button i: the page comes up and is read from the device.
    void showPage(int i);
    // Queues one run of the connection poll, as its timer would.
    void pollSoon();

    // What page i displays: every line edit's text, combo box's entry, check box's state and
    // caption, and device value label, in widget order.
    QStringList pageSnapshot(int i) const;

    // Waits until more than `before` losses have been reported; then empty if the window stood
    // as it should when the last one came up (port page, pages gone, unconnected picture, channel
    // closed and free), else what was wrong.
    QString waitForLoss(int before, int timeoutMs = 4000);

    int disconnectMessages() const;
    int messagesTitled(const QString &title) const;
    // The widget named objectName on page i.
    template <typename T> T *pageWidget(int i, const QString &objectName) const
    {
        QWidget *page = window()->devicePages().value(i);
        return page ? page->findChild<T *>(objectName) : nullptr;
    }

    MainWindow *window() const { return harness.window.get(); }
    sim::PtyServer &server() { return harness.server; }
    QString lastError() const { return m_error; }

    const FaultFamily family;
    ModalCatcher catcher;
    AppHarness harness;
    StallMeter stall;
    LossWitness losses;

private:
    bool waitConnected(int messagesBefore);
    QString m_error;
};

// The held rig if it is for this model and still (or again) connected, else a new connected one
// in its place; null when that fails too. Tests keep one rig from row to row, since connecting
// costs a window, and never more than one, since every rig answers whatever message box is up.
FaultRig *connectedRig(std::unique_ptr<FaultRig> &held, const QString &model);
