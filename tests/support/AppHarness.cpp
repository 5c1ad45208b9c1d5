#include "support/AppHarness.h"

#include "link/PortSource.h"
#include "link/Serial.h"
#include "link/SerialPortWidget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPixmap>

AppHarness::AppHarness(const QString &model, quint16 productId)
    : server(model), m_model(model), m_productId(productId)
{
}

AppHarness::~AppHarness()
{
    window.reset();
    PortSource::setLister({});
    PortSource::clearExtraPorts();
    SerialPortWidget::resetShownPorts();
    server.stop();
}

bool AppHarness::startDevice()
{
    if (!server.start(&m_error))
        return false;
    const QString path = server.portPath();
    const quint16 productId = m_productId;
    PortSource::clearExtraPorts();
    PortSource::setLister([path, productId]() {
        QList<PortInfo> ports;
        if (QFileInfo::exists(path)) {
            PortInfo port;
            port.portName = path;
            port.hasVendorIdentifier = true;
            port.vendorIdentifier = 1155;
            port.hasProductIdentifier = true;
            port.productIdentifier = productId;
            ports.append(port);
        }
        return ports;
    });
    SerialPortWidget::resetShownPorts();
    return true;
}

MainWindow *AppHarness::createWindow(const QVector<PageFamily> *families)
{
    window = std::make_unique<MainWindow>();
    if (families)
        window->setPageFamilies(*families);
    window->show();
    return window.get();
}

int AppHarness::indexOf(const QString &command, int from) const
{
    const QStringList log = server.commandLog();
    for (int i = qMax(0, from); i < log.size(); ++i) {
        const QString &entry = log.at(i);
        if (command.isEmpty() ? entry.isEmpty() : entry.startsWith(command))
            return i;
    }
    return -1;
}

namespace {

// Name and resource of each status picture.
QList<QPair<QString, QString>> statusPictures()
{
    QList<QPair<QString, QString>> pictures = {
        {"connected", ":/images/images/USBConnectedGreen.png"},
        {"unconnected", ":/images/images/USBUnconnected.png"}};
    for (int i = 0; i < 8; ++i)
        pictures.append(
            {QString("wait%1").arg(i), QString(":/images/images/WaitSlide%1.png").arg(i)});
    return pictures;
}

} // namespace

QString statusPicture(const QLabel *label)
{
    const QPixmap shown = label->pixmap(Qt::ReturnByValue);
    if (shown.isNull())
        return QStringLiteral("empty");
    const QImage image = shown.toImage();
    for (const auto &picture : statusPictures()) {
        if (QPixmap(picture.second).toImage() == image)
            return picture.first;
    }
    return QStringLiteral("other");
}

bool statusPicturesDistinct()
{
    QList<QImage> images;
    for (const auto &picture : statusPictures()) {
        const QImage image = QPixmap(picture.second).toImage();
        if (image.isNull() || images.contains(image))
            return false;
        images.append(image);
    }
    return true;
}

int AppTestPage::destroyedWhileRefreshing = 0;
int AppTestPage::liveCount = 0;

AppTestPage::AppTestPage(const Script &script, QWidget *parent)
    : BaseWidget(parent), m_script(script)
{
    ++liveCount;
}

AppTestPage::~AppTestPage()
{
    if (m_nesting > 0)
        ++destroyedWhileRefreshing;
    --liveCount;
}

void AppTestPage::refresh()
{
    ++m_refreshCount;
    ++m_nesting;
    m_maxNesting = qMax(m_maxNesting, m_nesting);
    for (int step = 0; step < m_script.commands.size(); ++step) {
        QString reply;
        if (serial)
            serial->sendCommand(m_script.commands.at(step), reply);
        m_replies.append(reply);
        emit iconUpdateSignal();
        if (m_script.between)
            m_script.between(this, step);
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < m_script.pauseMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    --m_nesting;
}

PageFamily testFamily(const QStringList &modelNumbers, int count, const AppTestPage::Script &script)
{
    PageFamily family;
    family.modelNumbers = modelNumbers;
    for (int i = 0; i < count; ++i) {
        PagePosition position;
        position.create = [script](const QString &, QWidget *parent) -> BaseWidget * {
            return new AppTestPage(script, parent);
        };
        position.buttonText = QStringLiteral("T%1").arg(i);
        family.positions.append(position);
    }
    return family;
}
