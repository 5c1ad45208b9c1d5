// Soak: the whole program against the simulator, in one process, for many connections in a row.
// Each cycle plugs the device in, lets the port page connect and identify it, reads all four pages
// through their navigation buttons, and pulls the device out again. Prints the resident memory
// after every cycle and, at the end, the figures: memory at cycles 1, 20, 100 and the last, the
// growth from cycle 20 on, the messages seen, and whether the channel's lock is free.
//
//   bench_soak [--cycles N] [--model 7146|7126|7185|...] [--pixmap-cache KiB]
//
// Exits 0 when every cycle connected and lost the device cleanly, growth from cycle 20 stayed
// under 5 MiB and the lock is free; 1 otherwise. It is a measurement, not a test.

#include "app/MainWindow.h"
#include "app/ProcessSettings.h"
#include "app/SerialPortWidget.h"
#include "link/PortSource.h"
#include "link/Serial.h"
#include "pages/BaseWidget.h"
#include "server/PtyServer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmapCache>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <malloc.h>
#include <map>

namespace {

// VmRSS of this process in KiB, 0 if it cannot be read.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        spin(5);
    }
    return true;
}

// Answers every message box the program puts up, as a user pressing OK would, and counts them by
// text. Boxes run their own event loops, in which this timer keeps firing.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget *window : windows) {
                auto *box = qobject_cast<QMessageBox *>(window);
                if (!box || !box->isVisible())
                    continue;
                ++counts[box->windowTitle() + QStringLiteral(": ") + box->text()];
                if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }

    int countStartingWith(const QString &prefix) const
    {
        int n = 0;
        for (const auto &entry : counts) {
            if (entry.first.startsWith(prefix))
                n += entry.second;
        }
        return n;
    }

    std::map<QString, int> counts;

private:
    QTimer m_timer;
};

} // namespace

int main(int argc, char **argv)
{
    // Headless like the test suite: no display, and the guide viewer's web engine without its
    // sandbox (the soak runs as root in CI) and without a GPU.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.qpa.*=false");

    // The web engine needs this before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    int cycles = 200;
    QString model = QStringLiteral("7146");
    int pixmapCacheKiB = -1;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--cycles"))
            cycles = qMax(20, args.at(i + 1).toInt());
        else if (args.at(i) == QLatin1String("--model"))
            model = args.at(i + 1);
        else if (args.at(i) == QLatin1String("--pixmap-cache"))
            pixmapCacheKiB = args.at(i + 1).toInt();
    }

    sim::PtyServer server(model);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        return 1;
    }
    // The device is listed as a supported USB port while its pseudo-terminal exists, as an
    // unplugged device drops out of the system's list.
    const QString path = server.portPath();
    const quint16 productId = model.startsWith(QLatin1String("718"))   ? 7185
                              : model.startsWith(QLatin1String("712")) ? 7126
                                                                       : 7146;
    PortSource::setLister([path, productId] {
        QList<PortInfo> ports;
        if (QFileInfo::exists(path)) {
            PortInfo port;
            port.portName = path;
            port.hasVendorIdentifier = true;
            port.vendorIdentifier = SerialPortWidget::supportedVendorId;
            port.hasProductIdentifier = true;
            port.productIdentifier = productId;
            ports.append(port);
        }
        return ports;
    });

    // The program's own process settings (among them the pixmap cache's limit); --pixmap-cache
    // overrides that limit to show how much of the growth is the cache filling up.
    applyProcessSettings();
    if (pixmapCacheKiB >= 0)
        QPixmapCache::setCacheLimit(pixmapCacheKiB);
    BoxAnswerer boxes;
    std::map<int, long> rss;
    int failedCycles = 0;
    bool lockFree = false;
    {
        MainWindow window;
        window.show();
        auto connected = [&] {
            return window.devicePages().size() == 4 && window.pageStack()->currentIndex() >= 1 &&
                   window.backgroundRefreshTimer()->isActive() && window.channel()->isOpen();
        };
        auto gone = [&] {
            return window.pageStack()->currentWidget() == window.portPage() &&
                   window.devicePages().isEmpty() && window.pendingDeletions() == 0 &&
                   !window.channel()->isOpen();
        };

        QElapsedTimer total;
        total.start();
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            bool ok = true;
            if (!QFileInfo::exists(path) && !server.replug())
                ok = false;
            // The poll that follows a loss finds the channel closed, brings the port page up
            // again, and the port page connects by itself; the first cycle's connection comes
            // from the window's own first poll.
            if (cycle > 1)
                QMetaObject::invokeMethod(&window, "usbUpdate", Qt::QueuedConnection);
            ok = ok && spinUntil(connected, 8000);
            const QList<QPushButton *> buttons = window.navigationButtons();
            for (QPushButton *button : buttons) {
                if (ok && window.navigationButtons().contains(button))
                    button->click();
            }
            ok = ok && connected();
            server.unplug();
            QMetaObject::invokeMethod(&window, "usbUpdate", Qt::QueuedConnection);
            ok = spinUntil(gone, 8000) && ok;
            // The switch to the port page scheduled an auto-connect 10 ms on; let it find no
            // port before the device comes back, so each cycle connects exactly once.
            spin(30);
            if (!ok)
                ++failedCycles;
            rss[cycle] = residentKiB();
            const long heapKiB = static_cast<long>(mallinfo2().uordblks / 1024);
            std::printf("cycle %3d  rss %6ld KiB  heap %6ld KiB  widgets %4d  messages: %d found, "
                        "%d lost  %s\n",
                        cycle, rss[cycle], heapKiB, QApplication::allWidgets().size(),
                        boxes.countStartingWith(QStringLiteral("Device Found")),
                        boxes.countStartingWith(QStringLiteral("Invalid Serial Port: Serial port")),
                        ok ? "ok" : "FAILED");
            std::fflush(stdout);
        }
        lockFree = window.channel()->isLockFree();
        std::printf("\n%d cycles in %.1f s\n", cycles, total.elapsed() / 1000.0);
    }

    const long growth = rss[cycles] - rss[20];
    std::printf("RSS cycle 1: %ld KiB\nRSS cycle 20: %ld KiB\nRSS cycle 100: %ld KiB\n"
                "RSS cycle %d: %ld KiB\ngrowth 20 -> %d: %ld KiB (limit 5120 KiB)\n",
                rss[1], rss[20], rss.count(100) ? rss[100] : 0L, cycles, rss[cycles], cycles,
                growth);
    const int found = boxes.countStartingWith(QStringLiteral("Device Found"));
    const int lost = boxes.countStartingWith(QStringLiteral("Invalid Serial Port: Serial port"));
    std::printf("Device Found messages: %d\nSerial port disconnected messages: %d\n", found, lost);
    for (const auto &entry : boxes.counts) {
        if (!entry.first.startsWith(QStringLiteral("Device Found")) &&
            !entry.first.startsWith(QStringLiteral("Invalid Serial Port: Serial port")))
            std::printf("other message (%dx): %s\n", entry.second, qPrintable(entry.first));
    }
    std::printf("failed cycles: %d\nchannel lock free at the end: %s\n", failedCycles,
                lockFree ? "yes" : "no");

    PortSource::setLister({});
    server.stop();
    const bool passed =
        failedCycles == 0 && growth < 5120 && lockFree && found == cycles && lost == cycles;
    std::printf("soak: %s\n", passed ? "passed" : "FAILED");
    return passed ? 0 : 1;
}
