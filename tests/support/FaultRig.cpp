#include "support/FaultRig.h"

#include "link/Serial.h"
#include "link/SerialPortWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

StallMeter::StallMeter()
{
    m_clock.start();
    QObject::connect(&m_timer, &QTimer::timeout, this, &StallMeter::tick);
    m_timer.start(10);
}

void StallMeter::reset()
{
    m_last = m_clock.elapsed();
    m_longest = 0;
}

qint64 StallMeter::longestStallMs() const
{
    return qMax(m_longest, m_clock.elapsed() - m_last);
}

void StallMeter::tick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = qMax(m_longest, now - m_last);
    m_last = now;
}

LossWitness::LossWitness(std::function<Seen()> look) : m_look(std::move(look))
{
    qApp->installEventFilter(this);
}

LossWitness::~LossWitness()
{
    qApp->removeEventFilter(this);
}

bool LossWitness::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && box->text() == QLatin1String("Serial port disconnected"))
            seen.append(m_look());
    }
    return false;
}

void applyFaultSettings(sim::DeviceState &s, bool second)
{
    s.rootLabel = second ? QStringLiteral("Bühne Nord ✓") : QStringLiteral("alpha");
    s.portLabel = second ? QStringLiteral("Port Süd") : QStringLiteral("beta");
    s.failDelay = second ? 905 : 600;
    s.failHold = second ? 65535 : 36000;
    s.failLevel = second ? 77 : 12;
    s.universe = second ? 7 : 2;
    s.dmxAddress = second ? 42 : 3;
    s.sixteenBit = second;
    s.rdmTraffic = second;
    for (int c = 0; c < s.channels.size(); ++c) {
        sim::ChannelState &channel = s.channels[c];
        channel.label =
            second ? QStringLiteral("Kanal %1 é").arg(c) : QStringLiteral("ch%1").arg(c);
        channel.curve = second ? 2 : 1;
        channel.respTime = second ? 3 : 1;
        channel.modulation = second ? 5 : 2;
        channel.offset = second ? -4 + c : 9;
    }
    s.bumpEnabled = second;
    s.wirelessInput = second;
    s.vexaId = second ? 123 : 5;
    s.vexaKey = second ? 321 : 6;
    s.antenna = second ? 2 : 1;
    s.power = second ? 3 : 1;
    s.pwmOutput = second;
    s.zeroTenOutput = second;
}

const QList<FaultFamily> &faultFamilies()
{
    static const QList<FaultFamily> families = {
        {QStringLiteral("5-channel dimmer"),
         QStringLiteral("7146"),
         7146,
         {"DmxWidget", "DimmerWidget", "FarcastWidget", "InfoWidget"}},
        {QStringLiteral("2-channel dimmer"),
         QStringLiteral("7126"),
         7126,
         {"DmxWidget", "DimmerWidget", "FarcastWidget", "InfoWidget"}},
        {QStringLiteral("receiver card"),
         QStringLiteral("7185"),
         7185,
         {"DmxWidget2", "FarcastWidget", "InfoWidget2", "AdvancedWidget"}},
    };
    return families;
}

const FaultFamily *faultFamily(const QString &model)
{
    for (const FaultFamily &family : faultFamilies()) {
        if (family.model == model)
            return &family;
    }
    return nullptr;
}

FaultRig::FaultRig(const FaultFamily &family_)
    : family(family_), harness(family_.model, family_.productId), losses([this] {
          LossWitness::Seen now;
          if (MainWindow *w = window()) {
              now.portPage = isOnPortPage();
              now.icon = statusPicture(w->statusIcon());
              now.channelOpen = w->channel()->isOpen();
              now.lockFree = w->channel()->isLockFree();
          }
          return now;
      })
{
}

FaultRig::~FaultRig()
{
    // A fault may have left a box open; the window must not be torn down under its loop.
    catcher.closeOpenBoxes();
}

bool FaultRig::connect()
{
    if (!harness.startDevice()) {
        m_error = harness.lastError();
        return false;
    }
    harness.createWindow();
    return waitConnected(0);
}

bool FaultRig::reconnect()
{
    if (!QFileInfo::exists(server().portPath()) && !server().replug()) {
        m_error = QStringLiteral("the simulator could not be plugged in again");
        return false;
    }
    const int before = messagesTitled(QStringLiteral("Device Found"));
    window()->portPage()->refreshPortList();
    window()->portPage()->autoConnect();
    return waitConnected(before);
}

bool FaultRig::waitConnected(int messagesBefore)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 8000) {
        // The first responding poll leaves the connected picture once it has read the page.
        if (messagesTitled(QStringLiteral("Device Found")) > messagesBefore && isConnected() &&
            statusPicture(window()->statusIcon()) == QLatin1String("connected"))
            return true;
        QTest::qWait(5);
    }
    m_error = QStringLiteral("no connection: %1 pages, icon %2, %3 messages")
                  .arg(window()->devicePages().size())
                  .arg(statusPicture(window()->statusIcon()))
                  .arg(catcher.count());
    return false;
}

bool FaultRig::isConnected() const
{
    MainWindow *w = window();
    return w && w->devicePages().size() == family.pageClasses.size() &&
           w->pageStack()->currentIndex() >= 1 && w->backgroundRefreshTimer()->isActive() &&
           w->channel()->isOpen() && statusPicture(w->statusIcon()) == QLatin1String("connected");
}

bool FaultRig::isOnPortPage() const
{
    MainWindow *w = window();
    return w && w->pageStack()->currentWidget() == w->portPage() && w->devicePages().isEmpty() &&
           w->navigationButtons().isEmpty();
}

void FaultRig::showPage(int i)
{
    QPushButton *button = window()->navigationButtons().value(i);
    if (!button)
        return;
    QTest::mousePress(button, Qt::LeftButton);
    QTest::mouseRelease(button, Qt::LeftButton);
}

void FaultRig::pollSoon()
{
    QMetaObject::invokeMethod(window(), "usbUpdate", Qt::QueuedConnection);
}

QStringList FaultRig::pageSnapshot(int i) const
{
    QStringList shown;
    QWidget *page = window()->devicePages().value(i);
    if (!page)
        return shown;
    const QList<QWidget *> widgets = page->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        // The dimmer's channel fields have no names, only their registry properties.
        QString key = widget->objectName();
        if (widget->property("group").isValid()) {
            key = QStringLiteral("%1/%2").arg(widget->property("group").toString(),
                                              widget->property("index").toString());
        }
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            // A combo box's own line edit repeats its entry.
            if (!qobject_cast<QComboBox *>(edit->parentWidget()))
                shown << key + QLatin1Char('=') + edit->text();
        } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            shown << key + QLatin1Char('#') + QString::number(combo->currentIndex());
        } else if (auto *box = qobject_cast<QCheckBox *>(widget)) {
            shown << key + (box->isChecked() ? QLatin1String("[x]") : QLatin1String("[ ]")) +
                         box->text();
        } else if (auto *label = qobject_cast<QLabel *>(widget)) {
            if (key.startsWith(QLatin1String("lc_")))
                shown << key + QLatin1Char('=') + label->text();
        }
    }
    return shown;
}

QString FaultRig::waitForLoss(int before, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (losses.seen.size() <= before) {
        if (waited.elapsed() > timeoutMs)
            return QStringLiteral("no disconnect message within %1 ms").arg(timeoutMs);
        QTest::qWait(5);
    }
    const LossWitness::Seen &seen = losses.seen.last();
    QStringList wrong;
    if (!seen.portPage)
        wrong << QStringLiteral("not on the port page");
    if (seen.icon != QLatin1String("unconnected"))
        wrong << QStringLiteral("icon ") + seen.icon;
    if (seen.channelOpen)
        wrong << QStringLiteral("channel still open");
    if (!seen.lockFree)
        wrong << QStringLiteral("channel lock held");
    return wrong.join(QStringLiteral(", "));
}

int FaultRig::disconnectMessages() const
{
    int n = 0;
    for (const ModalCatcher::Message &message : catcher.messages()) {
        if (message.text == QLatin1String("Serial port disconnected"))
            ++n;
    }
    return n;
}

int FaultRig::messagesTitled(const QString &title) const
{
    int n = 0;
    for (const ModalCatcher::Message &message : catcher.messages()) {
        if (message.title == title)
            ++n;
    }
    return n;
}

FaultRig *connectedRig(std::unique_ptr<FaultRig> &held, const QString &model)
{
    if (held && held->family.model != model)
        held.reset();
    if (held && held->isConnected())
        return held.get();
    if (held && held->reconnect())
        return held.get();
    held.reset();
    const FaultFamily *family = faultFamily(model);
    if (!family)
        return nullptr;
    held = std::make_unique<FaultRig>(*family);
    if (!held->connect()) {
        qWarning("%s", qPrintable(held->lastError()));
        held.reset();
    }
    return held.get();
}
