#include "support/Rig.h"

#include "app/SerialPortWidget.h"
#include "link/DeviceSession.h"
#include "link/PortSource.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

Unit::Unit(const QString &model) : server(model)
{
    server.setSeed(1);
    ready =
        server.start() && session::open(serial, server.portPath()) == session::OpenResult::Opened;
    serial.setPrompt(getModelPrefix(model));
}

QStringList pageSnapshot(const QWidget *page)
{
    QStringList shown;
    for (QWidget *w : page->findChildren<QWidget *>()) {
        QString key = w->objectName();
        auto *edit = qobject_cast<QLineEdit *>(w);
        auto *check = qobject_cast<QCheckBox *>(w);
        // A combo box's own line edit repeats its entry.
        if (edit && !qobject_cast<QComboBox *>(w->parentWidget()))
            key += '=' + edit->text();
        else if (auto *box = qobject_cast<QComboBox *>(w))
            key += '#' + QString::number(box->currentIndex());
        else if (check)
            key += (check->isChecked() ? "[x]" : "[ ]") + check->text();
        else if (key.startsWith("lc_"))
            key += '=' + static_cast<QLabel *>(w)->text();
        else
            continue;
        shown << key + (w->hasFocus() ? "*" : "") + (w->isVisibleTo(page) ? "" : "~");
    }
    return shown;
}

PageRig::PageRig(const QString &model, const QString &pageClass) : Unit(model)
{
    const ModelInfo &info = *catalogue::find(model);
    for (const PagePosition &position : findPageFamily(pageFamilies(), info.family)->positions) {
        pages << position.create(info, nullptr);
        if (position.configure)
            position.configure(pages.last());
        pages.last()->setSerial(&serial);
        if (pageClass == pages.last()->metaObject()->className())
            page = pages.last();
    }
    if (const auto &afterBuild = findPageFamily(pageFamilies(), info.family)->afterBuild)
        afterBuild(pages);
}

PageRig::~PageRig()
{
    qDeleteAll(pages);
}

QWidget *PageRig::field(const QString &key) const
{
    return page->findChild<QWidget *>(key);
}

bool PageRig::focus(QWidget *widget)
{
    page->show();
    QApplication::setActiveWindow(page);
    widget->setFocus();
    return QTest::qWaitFor([widget] { return widget->hasFocus(); });
}

ModalCatcher::ModalCatcher()
{
    // Boxes are usually stack objects and a new one often stands where the last one stood: the
    // mark goes with the object, so each box is recorded once.
    QObject::connect(&timer, &QTimer::timeout, [this] {
        QMessageBox *box = openBox();
        if (!box || box->property("seen").toBool())
            return;
        box->setProperty("seen", true);
        messages.append({box->windowTitle(), box->text()});
        box->button(QMessageBox::Ok)->click();
    });
    timer.start(10);
}

bool ModalCatcher::waitForCount(int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return messages.size() >= n; }, timeoutMs);
}

int ModalCatcher::count(const QString &titleOrText) const
{
    return int(std::count_if(messages.begin(), messages.end(), [&](const Message &m) {
        return m.title == titleOrText || m.text == titleOrText;
    }));
}

QMessageBox *ModalCatcher::openBox()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

void ModalCatcher::closeOpenBoxes()
{
    while (QMessageBox *box = openBox())
        box->button(QMessageBox::Ok)->click();
}

QString statusPicture(const QLabel *label)
{
    // The theme's own pictures are the reference.
    QLabel reference;
    for (int i = -2; i < 8; ++i) {
        i == -2   ? setUsbConnectedIcon(&reference)
        : i == -1 ? setUsbDisconnectedIcon(&reference)
                  : setWaitSlide(&reference, i);
        if (reference.pixmap(Qt::ReturnByValue).toImage() ==
            label->pixmap(Qt::ReturnByValue).toImage())
            return i == -2 ? "connected" : i == -1 ? "unconnected" : QString("wait%1").arg(i);
    }
    return "other";
}

AppRig::AppRig(const QString &model, const QVector<PageFamily> &families)
    : model(model), server(model), m_families(families)
{
    m_clock.start();
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        m_longest = qMax(m_longest, m_clock.elapsed() - m_last);
        m_last = m_clock.elapsed();
    });
    m_ticker.start(10);
    qApp->installEventFilter(this);
}

AppRig::~AppRig()
{
    // A fault may have left a box open; the window must not go under its loop.
    catcher.closeOpenBoxes();
    window.reset();
    PortSource::setLister({});
}

bool AppRig::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QMessageBox *>(watched);
    if (event->type() == QEvent::Show && box && box->text() == "Serial port disconnected") {
        const bool closed = !window->channel()->isOpen() && window->channel()->isLockFree();
        losses << QString(isOnPortPage() ? "" : "not on the port page; ") +
                      (statusPicture(window->statusIcon()) == "unconnected" ? "" : "icon; ") +
                      (closed ? "" : "channel open or locked");
    }
    return false;
}

void AppRig::resetStall()
{
    m_last = m_clock.elapsed();
    m_longest = 0;
}

qint64 AppRig::longestStallMs() const
{
    return qMax(m_longest, m_clock.elapsed() - m_last);
}

bool AppRig::start(bool wait)
{
    if (!server.start(&error))
        return false;
    // Listed only while its pseudo-terminal exists, as an unplugged unit leaves the system's list.
    PortInfo port;
    port.portName = server.portPath();
    port.hasVendorIdentifier = port.hasProductIdentifier = true;
    port.vendorIdentifier = catalogue::usbVendorId;
    port.productIdentifier = catalogue::usbProductId(catalogue::find(model)->family);
    PortSource::setLister([port] {
        return QFileInfo::exists(port.portName) ? QList<PortInfo>{port} : QList<PortInfo>();
    });
    SerialPortWidget::resetShownPorts();
    window = std::make_unique<MainWindow>();
    window->setPageFamilies(m_families);
    window->show();
    return !wait || waitConnected(0);
}

bool AppRig::reconnect()
{
    if (!QFileInfo::exists(server.portPath()) && !server.replug())
        return false;
    const int before = catcher.count("Device Found");
    window->portPage()->refreshPortList();
    window->portPage()->autoConnect();
    return waitConnected(before);
}

bool AppRig::waitConnected(int foundBefore)
{
    // The first answered poll leaves the connected picture once it has read the page.
    if (!QTest::qWaitFor(
            [&] { return catcher.count("Device Found") > foundBefore && isConnected(); }, 8000))
        error = QString("not connected; %1 messages").arg(catcher.messages.size());
    return error.isEmpty();
}

bool AppRig::isConnected() const
{
    return !window->devicePages().isEmpty() && window->pageStack()->currentIndex() >= 1 &&
           window->backgroundRefreshTimer()->isActive() && window->channel()->isOpen() &&
           statusPicture(window->statusIcon()) == "connected";
}

bool AppRig::isOnPortPage() const
{
    return window->pageStack()->currentWidget() == window->portPage() &&
           window->devicePages().isEmpty() && window->navigationButtons().isEmpty();
}

void AppRig::showPage(int i)
{
    QTest::mousePress(window->navigationButtons().value(i), Qt::LeftButton);
    QTest::mouseRelease(window->navigationButtons().value(i), Qt::LeftButton);
}

void AppRig::pollSoon()
{
    QMetaObject::invokeMethod(window.get(), "usbUpdate", Qt::QueuedConnection);
}

QString AppRig::waitForLoss(int before, int timeoutMs)
{
    if (!QTest::qWaitFor([&] { return losses.size() > before; }, timeoutMs))
        return "no disconnect message";
    return losses.last();
}
