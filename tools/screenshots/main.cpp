// Takes a picture of every page of the main window with one simulated device attached, the way a
// user gets there: the program starts as `vantelo --simulate MODEL` does, finds the device, the
// "Device Found" box is acknowledged, and each navigation button is clicked in turn.
//
// Usage: vantelo_screenshots MODEL OUTDIR
// Writes OUTDIR/<model>-<position>-<page>.png, e.g. 7146-1-info.png. Needs a real X display (run
// it under xvfb-run): the pictures are read back from the X server, not rendered off screen.

#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/ProcessSettings.h"
#include "core/SimDevice.h"
#include "pages/BaseWidget.h"
#include "server/PtyServer.h"
#include "support/Rig.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStackedWidget>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <functional>

namespace {

constexpr int stepTimeoutMs = 30000;
// A page is taken as finished once the device has heard no command for this long; the poll's bare
// line break every second does not count.
constexpr int quietMs = 700;

void fail(const QString &message)
{
    std::fprintf(stderr, "vantelo_screenshots: %s\n", message.toLocal8Bit().constData());
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = stepTimeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

int commandsHeard(const sim::PtyServer &server)
{
    int count = 0;
    const QStringList log = server.commandLog();
    for (const QString &line : log) {
        if (!line.trimmed().isEmpty())
            ++count;
    }
    return count;
}

// True once no command has been heard for quietMs.
bool waitForQuiet(const sim::PtyServer &server)
{
    QElapsedTimer total;
    total.start();
    int last = commandsHeard(server);
    QElapsedTimer quiet;
    quiet.start();
    while (quiet.elapsed() < quietMs) {
        if (total.elapsed() > stepTimeoutMs)
            return false;
        QTest::qWait(20);
        const int now = commandsHeard(server);
        if (now != last) {
            last = now;
            quiet.restart();
        }
    }
    return true;
}

// Waits until the device has been quiet for quietMs after at least one new command beyond
// `before`, so the picture shows the page filled from the device rather than half read.
bool waitForPageRead(const sim::PtyServer &server, int before)
{
    if (!waitFor([&] { return commandsHeard(server) > before; }))
        return false;
    return waitForQuiet(server);
}

// A picture with only a handful of colours is a window that has not been painted (black, or the
// bare background), not a page.
bool looksPainted(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 16)
                return true;
        }
    }
    return false;
}

QString fileNameFor(const QString &model, int position, const QString &buttonText)
{
    QString page = buttonText.toLower();
    page.replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("%1-%2-%3.png").arg(model).arg(position + 1).arg(page);
}

int run(const QString &model, const QString &outDir)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        fail(QStringLiteral("needs the xcb platform on an X display (run it under xvfb-run), "
                            "not '%1'")
                 .arg(QGuiApplication::platformName()));
        return 1;
    }
    if (!sim::SimDevice::isKnownModel(model)) {
        fail(QStringLiteral("unknown model '%1'").arg(model));
        return 2;
    }
    if (!QDir().mkpath(outDir)) {
        fail(QStringLiteral("cannot create %1").arg(outDir));
        return 1;
    }

    LaunchSession session;
    LaunchOptions options;
    options.simulateModel = model;
    QString error;
    if (!session.start(options, &error)) {
        fail(error);
        return 1;
    }
    const sim::PtyServer &device = *session.simulator();

    ModalCatcher boxes;
    MainWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, stepTimeoutMs)) {
        fail(QStringLiteral("the main window never appeared"));
        return 1;
    }

    if (!boxes.waitForCount(1, stepTimeoutMs)) {
        fail(QStringLiteral("the device was not found"));
        return 1;
    }
    if (boxes.messages.constFirst().title != QLatin1String("Device Found")) {
        fail(QStringLiteral("expected \"Device Found\", got \"%1\": %2")
                 .arg(boxes.messages.constFirst().title, boxes.messages.constFirst().text));
        return 1;
    }
    if (!waitFor([&] {
            return window.devicePages().size() == 4 && window.navigationButtons().size() == 4 &&
                   window.pageStack()->currentWidget() == window.devicePages().constFirst();
        })) {
        fail(QStringLiteral("the model's pages did not come up"));
        return 1;
    }

    const int boxesAfterStart = boxes.messages.size();
    for (int i = 0; i < window.navigationButtons().size(); ++i) {
        QPushButton *button = window.navigationButtons().at(i);
        const QString text = button->text();
        const int before = commandsHeard(device);
        QTest::mouseClick(button, Qt::LeftButton);
        if (!waitFor([&] {
                return window.pageStack()->currentWidget() == window.devicePages().at(i);
            })) {
            fail(QStringLiteral("the %1 button did not show its page").arg(text));
            return 1;
        }
        if (!waitForPageRead(device, before)) {
            fail(QStringLiteral("the %1 page did not finish reading the device").arg(text));
            return 1;
        }
        if (boxes.messages.size() != boxesAfterStart) {
            fail(QStringLiteral("unexpected message on the %1 page: %2")
                     .arg(text, boxes.messages.last().text));
            return 1;
        }

        // The status icon keeps the last wait frame until the next poll hears the prompt; and the
        // background refresh may start re-reading the page at any moment. A picture counts only
        // when it was taken connected and nothing was sent while it was taken.
        QImage picture;
        for (int attempt = 0; attempt < 5 && picture.isNull(); ++attempt) {
            if (!waitFor([&] { return statusPicture(window.statusIcon()) == "connected"; }) ||
                !waitForQuiet(device)) {
                fail(QStringLiteral("the %1 page never settled connected").arg(text));
                return 1;
            }
            const int heard = commandsHeard(device);
            QImage taken = window.windowHandle()->screen()->grabWindow(window.winId()).toImage();
            if (heard == commandsHeard(device) && statusPicture(window.statusIcon()) == "connected")
                picture = taken;
        }
        const QSize expected = window.size() * window.devicePixelRatioF();
        if (picture.size() != expected || !looksPainted(picture)) {
            fail(QStringLiteral("the %1 page's picture is blank or cut (%2x%3)")
                     .arg(text)
                     .arg(picture.width())
                     .arg(picture.height()));
            return 1;
        }
        const QString path = QDir(outDir).filePath(fileNameFor(model, i, text));
        if (!picture.save(path, "PNG")) {
            fail(QStringLiteral("cannot write %1").arg(path));
            return 1;
        }
        std::printf("%s\n", path.toLocal8Bit().constData());
    }

    window.close();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    applyProcessSettings();

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3) {
        std::fputs("usage: vantelo_screenshots MODEL OUTDIR\n", stderr);
        return 2;
    }
    return run(arguments.at(1), arguments.at(2));
}
