#include "app/MainWindow.h"
#include "ui_MainWindow.h"

#include "app/Debug.h"
#include "app/RigRecordWindow.h"
#include "app/SerialPortWidget.h"
#include "app/StationWindow.h"
#include "link/DeviceSession.h"
#include "link/Serial.h"
#include "pages/BaseWidget.h"
#include "ui/About.h"
#include "ui/Manual.h"
#include "ui/PopupMessage.h"
#include "ui/Theme.h"
#include "unit/ModelCatalogue.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QPushButton>
#include <QTimer>

namespace {

// The wait animation carries on from where it stopped, across connections.
int waitFrame = 0;
constexpr int waitFrameCount = 8;

} // namespace

MainWindow::MainWindow()
    : QMainWindow(nullptr), ui(new Ui::MainWindow), families(pageFamilies()),
      exitHandler([](int code) { QCoreApplication::exit(code); })
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/images/icons/F_Logo_Purple.JPG")));
    applyMainWindowStyle(ui->centralwidget);
    move(100, 50);

    debug = new Debug();
    debug->setAutoScroll(true);

    manual = new Manual(makerHomePage(), this);
    on_actionQuick_Start_Guide_triggered();

    serial = new Serial();
    serialPortWidget = new SerialPortWidget(this);
    serialPortWidget->setSerial(serial);

    ui->stackedWidget->insertWidget(portPageIndex, serialPortWidget);
    deviceFound = false;

    refreshTimer = new QTimer(this);
    refreshTimer->setObjectName(QStringLiteral("refreshTimer"));
    pollTimer = new QTimer(this);
    pollTimer->setObjectName(QStringLiteral("pollTimer"));

    m_settingsFiles = new SettingsFiles(this, ui->actionSave_Settings, ui->actionLoad_Settings);
    connect(ui->actionProvision_Units, &QAction::triggered, this, [this] {
        StationWindow *station = stationWindow();
        station->show();
        station->raise();
        station->activateWindow();
    });
    connect(ui->actionRig_Record, &QAction::triggered, this, [this] {
        RigRecordWindow *view = rigRecordWindow();
        view->show();
        view->raise();
        view->activateWindow();
    });

    connect(serialPortWidget, &SerialPortWidget::unitConnected, this, &MainWindow::unitConnected);
    connect(serialPortWidget, &SerialPortWidget::disconnected, this, &MainWindow::unitDisconnected);
    connect(serialPortWidget, &SerialPortWidget::cancelled, this, &MainWindow::cancelled);
    connect(refreshTimer, &QTimer::timeout, this, &MainWindow::rdmUpdate);
    connect(pollTimer, &QTimer::timeout, this, &MainWindow::usbUpdate);

    pollTimer->start(1);
    ui->stackedWidget->setCurrentIndex(portPageIndex);
    setUsbDisconnectedIcon(ui->l_usb);
}

MainWindow::~MainWindow()
{
    shutDown();
    // Nothing is on the call stack any more; whatever still waits for a deferred deletion goes
    // now, including the parentless channel and log window.
    for (const QPointer<QObject> &object : qAsConst(graveyard))
        delete object.data();
    graveyard.clear();
    delete ui;
}

void MainWindow::setPageFamilies(const QVector<PageFamily> &newFamilies)
{
    families = newFamilies;
}

void MainWindow::setExitHandler(std::function<void(int)> handler)
{
    exitHandler = std::move(handler);
}

QStackedWidget *MainWindow::pageStack() const
{
    return ui->stackedWidget;
}

QLabel *MainWindow::statusIcon() const
{
    return ui->l_usb;
}

int MainWindow::pendingDeletions() const
{
    int count = 0;
    for (const QPointer<QObject> &object : graveyard) {
        if (object)
            ++count;
    }
    return count;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    shutDown();
    event->accept();
}

void MainWindow::shutDown()
{
    if (shutDownDone)
        return;
    shutDownDone = true;

    if (debug)
        debug->close();
    if (serial)
        serial->close();
    if (refreshTimer)
        refreshTimer->stop();
    if (pollTimer)
        pollTimer->stop();
    deletePages();
    // The port page may be the sender of the Cancel that brought us here.
    if (serialPortWidget)
        ui->stackedWidget->removeWidget(serialPortWidget);
    // A page refresh that let events run may still be on the stack and about to use the channel
    // again; it must find a closed channel, not a deleted one.
    retire(debug);
    retire(serialPortWidget);
    retire(serial);
    retire(refreshTimer);
    retire(pollTimer);
    debug = nullptr;
    serialPortWidget = nullptr;
    serial = nullptr;
    refreshTimer = nullptr;
    pollTimer = nullptr;
}

void MainWindow::holdPolling()
{
    if (pollTimer)
        pollTimer->stop();
    if (refreshTimer)
        refreshTimer->stop();
}

void MainWindow::resumePolling(bool lossReported)
{
    if (lossReported)
        deviceFound = false;
    if (pollTimer)
        pollTimer->start(1);
}

StationWindow *MainWindow::stationWindow()
{
    if (!m_station) {
        m_station = new StationWindow(this);
        connect(m_station, &StationWindow::runningChanged, this,
                [this](bool running) { setStationRunning(running); });
    }
    return m_station;
}

RigRecordWindow *MainWindow::rigRecordWindow()
{
    if (!m_rigRecord)
        m_rigRecord = new RigRecordWindow(this);
    return m_rigRecord;
}

void MainWindow::setStationRunning(bool running)
{
    if (serialPortWidget)
        serialPortWidget->setConnectAllowed(!running);
    if (m_settingsFiles)
        m_settingsFiles->setAllowed(!running);
    if (!running) {
        // As at start-up: the first poll finds no unit, shows the port page and connects.
        if (pollTimer)
            pollTimer->start(1);
        return;
    }
    // Letting go of the unit is no disconnection to report; the port page's auto-connect is
    // switched off above.
    deviceFound = false;
    if (serial)
        serial->close();
    switchToPortPage(true);
    setUsbDisconnectedIcon(ui->l_usb);
}

void MainWindow::clearNavButtons()
{
    for (QPushButton *button : qAsConst(navButtons))
        applyNavButtonStyle(button);
}

void MainWindow::buttonPressed()
{
    const int i = sender() ? sender()->property("index").toInt() : -1;
    if (i < 0 || i >= navButtons.size() || navButtons.at(i) != sender())
        return;
    clearNavButtons();
    applyNavButtonPressedStyle(navButtons.at(i));
}

void MainWindow::buttonReleased()
{
    const int i = sender() ? sender()->property("index").toInt() : -1;
    if (i < 0 || i >= navButtons.size() || navButtons.at(i) != sender() || i >= pages.size())
        return;
    QPointer<QPushButton> button = navButtons.at(i);
    const int generation = pageGeneration;
    ui->stackedWidget->setCurrentIndex(i + 1);
    refreshPage(pages.at(i));
    // The refresh may have let a disconnect discard this page set.
    if (button && generation == pageGeneration)
        applyNavButtonSelectedStyle(button);
}

void MainWindow::switchToPortPage(bool portPage)
{
    if (portPage) {
        if (refreshTimer)
            refreshTimer->stop();
        if (pollTimer)
            pollTimer->stop();
        ui->stackedWidget->setCurrentIndex(portPageIndex);
        deletePages();
        if (serialPortWidget) {
            serialPortWidget->refreshPortList();
            QTimer::singleShot(10, serialPortWidget, &SerialPortWidget::autoConnect);
        }
        return;
    }

    if (pages.isEmpty() || navButtons.isEmpty())
        return;
    ui->stackedWidget->setCurrentIndex(1);
    for (QPushButton *button : qAsConst(navButtons))
        button->setEnabled(true);
    applyNavButtonSelectedStyle(navButtons.first());
    // Hiding the port page hands the keyboard focus on to the next widget in the chain, which
    // can be a line edit of the new page. A focused field is never read, and leaving it writes
    // its text to the device: a field that still shows its form placeholder would overwrite the
    // device's setting. The selected navigation button holds the focus instead.
    navButtons.first()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::on_actionSerial_Ports_triggered()
{
    switchToPortPage(true);
}

void MainWindow::on_actionAbout_triggered()
{
    auto *about = new About(this);
    about->setModal(true);
    about->exec();
}

void MainWindow::on_actionQuick_Start_Guide_triggered()
{
    if (!manual || manual->isVisible())
        return;
    manual->show();
    manual->move(x() + width() + 20, y());
    manual->loadUrl(QUrl());
}

void MainWindow::cancelled()
{
    shutDown();
    if (exitHandler)
        exitHandler(1);
}

void MainWindow::unitDisconnected()
{
    deletePages();
    setUsbDisconnectedIcon(ui->l_usb);
}

void MainWindow::unitConnected(const session::Result &unit)
{
    deletePages();
    buildPages(*unit.info);
    if (pages.isEmpty()) {
        // A model without a page set: there is nothing to show or poll. Stay on the port page
        // without scheduling an auto-connect, which would only find the same model again.
        if (refreshTimer)
            refreshTimer->stop();
        if (pollTimer)
            pollTimer->stop();
        ui->stackedWidget->setCurrentIndex(portPageIndex);
        setUsbDisconnectedIcon(ui->l_usb);
        return;
    }
    const int generation = pageGeneration;
    if (m_settingsFiles)
        m_settingsFiles->setUnit(unit.info);

    popupMessage(QStringLiteral("Model ") + unit.model + QStringLiteral(" - ") + unit.info->name +
                     QStringLiteral(" Found"),
                 QStringLiteral("Device Found"), QMessageBox::Information, this);

    // While the message was open, timers and auto-connect kept running; if they replaced or
    // discarded these pages, the newer state stands.
    if (generation != pageGeneration)
        return;
    switchToPortPage(false);
    if (pollTimer)
        pollTimer->start(1);
}

void MainWindow::buildPages(const ModelInfo &model)
{
    const PageFamily *family = findPageFamily(families, model.family);
    if (!family)
        return;

    for (int i = 0; i < family->positions.size(); ++i) {
        const PagePosition &position = family->positions.at(i);
        BaseWidget *page = position.create(model, this);
        page->setObjectName(QString::fromLatin1(page->metaObject()->className()) +
                            QLatin1Char('-') + QString::number(i));
        if (position.configure)
            position.configure(page);

        auto *button = new QPushButton(ui->centralwidget);
        button->setObjectName(position.buttonText + QLatin1Char('-') + QString::number(i));
        button->setText(position.buttonText);

        pages.append(page);
        navButtons.append(button);

        BaseWidget *progress = position.progressSource ? position.progressSource(page) : page;
        if (progress) {
            connect(progress, &BaseWidget::iconUpdateSignal, this, &MainWindow::iconUpdate);
            progressSources.append(progress);
        }
    }
    if (family->afterBuild)
        family->afterBuild(pages);

    if (manual)
        manual->loadUrl(makerHomePage().resolved(QUrl(model.guidePath)));

    for (int i = 0; i < pages.size(); ++i) {
        pages.at(i)->setDebug(debug);
        pages.at(i)->setSerial(serial);
        ui->stackedWidget->insertWidget(i + 1, pages.at(i));
    }

    if (navButtons.isEmpty())
        return;
    const int w = (navStripEnd - navStripX) / navButtons.size();
    for (int i = 0; i < navButtons.size(); ++i) {
        QPushButton *button = navButtons.at(i);
        button->setGeometry(navStripX + i * w, navStripY, w, navButtonHeight);
        button->setProperty("index", i);
        button->setVisible(true);
        connect(button, &QPushButton::pressed, this, &MainWindow::buttonPressed);
        connect(button, &QPushButton::released, this, &MainWindow::buttonReleased);
    }
    clearNavButtons();
}

void MainWindow::deletePages()
{
    ++pageGeneration;
    if (m_settingsFiles)
        m_settingsFiles->setUnit(nullptr);
    // A discarded page may still be finishing a refresh; its progress must not cover the
    // picture that says why it was discarded.
    for (const QPointer<BaseWidget> &source : qAsConst(progressSources)) {
        if (source)
            disconnect(source, &BaseWidget::iconUpdateSignal, this, &MainWindow::iconUpdate);
    }
    progressSources.clear();
    for (BaseWidget *page : qAsConst(pages)) {
        ui->stackedWidget->removeWidget(page);
        retire(page);
    }
    pages.clear();
    for (QPushButton *button : qAsConst(navButtons))
        retire(button);
    navButtons.clear();
}

BaseWidget *MainWindow::pageOnScreen() const
{
    if (pages.isEmpty() || ui->stackedWidget->currentIndex() < 1)
        return nullptr;
    auto *page = qobject_cast<BaseWidget *>(ui->stackedWidget->currentWidget());
    return pages.contains(page) ? page : nullptr;
}

void MainWindow::refreshPage(BaseWidget *page)
{
    // A page already refreshing further up the stack is not started again from inside itself;
    // the outer refresh is reading the same values.
    if (!page || refreshing.contains(page))
        return;
    refreshing.insert(page);
    ++refreshDepth;
    page->refresh();
    --refreshDepth;
    refreshing.remove(page);
    if (refreshDepth == 0 && !graveyard.isEmpty())
        scheduleGraveyardFlush();
}

void MainWindow::retire(QObject *object)
{
    if (!object)
        return;
    if (auto *widget = qobject_cast<QWidget *>(object))
        widget->hide();
    for (const QPointer<QObject> &held : qAsConst(graveyard)) {
        if (held == object)
            return;
    }
    graveyard.append(object);
    scheduleGraveyardFlush();
}

void MainWindow::scheduleGraveyardFlush()
{
    if (flushScheduled)
        return;
    flushScheduled = true;
    QTimer::singleShot(0, this, &MainWindow::flushGraveyard);
}

void MainWindow::flushGraveyard()
{
    flushScheduled = false;
    // Still inside a refresh: the refresh schedules the flush again when the last one returns.
    if (refreshDepth > 0)
        return;
    for (const QPointer<QObject> &object : qAsConst(graveyard)) {
        if (object)
            object->deleteLater();
    }
    graveyard.clear();
}

void MainWindow::usbUpdate()
{
    if (!serial || !pollTimer || !refreshTimer)
        return;
    pollTimer->stop();
    pollTimer->start(pollInterval);

    if (session::ping(*serial)) {
        setUsbConnectedIcon(ui->l_usb);
        deviceFound = true;
        if (!refreshTimer->isActive()) {
            refreshTimer->start(refreshInterval);
            const int generation = pageGeneration;
            // The receiver card's DMX page learns the output states from the output options
            // page, so that page is read first even though it is not on screen.
            if (pageOnScreen() && pages.last()->inherits("AdvancedWidget"))
                refreshPage(pages.last());
            if (generation == pageGeneration)
                refreshPage(pageOnScreen());
            if (generation == pageGeneration && serial && serial->isOpen())
                setUsbConnectedIcon(ui->l_usb);
        }
        return;
    }

    setUsbDisconnectedIcon(ui->l_usb);
    refreshTimer->stop();
    serial->close();
    switchToPortPage(true);
    if (deviceFound) {
        // Cleared before the message: a device picked up again while it is open must be
        // reported when it goes away in its turn.
        deviceFound = false;
        pollTimer->stop();
        popupMessage(QStringLiteral("Serial port disconnected"),
                     QStringLiteral("Invalid Serial Port"), QMessageBox::Critical, this);
        if (pollTimer)
            pollTimer->start();
    }
}

void MainWindow::rdmUpdate()
{
    BaseWidget *page = pageOnScreen();
    if (!page)
        return;
    const int generation = pageGeneration;
    refreshPage(page);
    // A refresh that ran into a disconnect leaves the unconnected picture standing.
    if (generation == pageGeneration && serial && serial->isOpen())
        setUsbConnectedIcon(ui->l_usb);
}

void MainWindow::iconUpdate()
{
    setWaitSlide(ui->l_usb, waitFrame);
    ui->l_usb->repaint();
    waitFrame = (waitFrame + 1) % waitFrameCount;
}
