#include "server/PtyServer.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// Re-points a link in one step, so a client never sees a path to a stale pty.
bool pointLink(const QString &path, const char *target, QString *error)
{
    const QByteArray link = QFile::encodeName(path);
    const QByteArray tmpLink = link + ".new";
    ::unlink(tmpLink.constData());
    if (::symlink(target, tmpLink.constData()) == 0 &&
        ::rename(tmpLink.constData(), link.constData()) == 0)
        return true;
    if (error)
        *error = errnoText("symlink") + QStringLiteral(" (%1)").arg(path);
    ::unlink(tmpLink.constData());
    return false;
}

void removeLink(const QString &path)
{
    ::unlink(QFile::encodeName(path).constData());
}

} // namespace

struct PtyServer::Impl
{
    explicit Impl(const QString &model) : model(model), device(model) {}

    const QString model;

    // Guards everything below up to the I/O part, and the task queue.
    mutable std::mutex mutex;
    std::condition_variable tasksDone;
    SimDevice device;
    QStringList log;
    int latencyMs = 0;
    bool silent = false;
    int unplugAfter = 0;
    int commandsSinceArmed = 0;
    int chunkBytes = 0;
    int chunkPauseMs = 0;
    QByteArray trailing;
    QByteArray garbage;
    std::function<std::optional<QByteArray>(const QByteArray &)> replyOverride;
    QString dirPath;
    QString linkPath;
    QString slavePath;

    // The pseudo-terminal's descriptors belong to the I/O thread while it runs: other threads
    // hand it work through the task queue, so a descriptor is never closed under a poll() or a
    // write() of the thread. fdMutex is held by the thread for its whole life and taken by a
    // caller that runs such work itself while no thread runs.
    std::mutex fdMutex;
    int master = -1;
    int slaveKeep = -1; // our own slave descriptor: without it the master reads EIO between clients
    unsigned generation = 0; // bumped by every unplug, so a pending answer is not sent to a new pty
    QByteArray pending;      // received bytes not yet ending in a line feed
    QStringList extraLinks;
    int wake[2] = {-1, -1};
    std::thread thread;
    bool accepting = false; // the thread takes tasks (under mutex)
    std::thread::id ioThread;
    bool stopRequested = false;
    std::deque<std::function<void()>> tasks;
    quint64 tasksQueued = 0;
    quint64 tasksRun = 0;

    bool openPty(QString *error);
    void closePty();
    void removeLinks();
    void runOnIoThread(const std::function<void()> &fn);
    void runPendingTasks();
    void drainWake();
    bool stopping();
    bool pause(int ms, unsigned gen);
    bool writeAll(const QByteArray &bytes, unsigned gen);
    void ioLoop();
    void handleLine(const QByteArray &line);
};

bool PtyServer::Impl::openPty(QString *error)
{
    const auto fail = [&](const QString &text, int fd) {
        if (error)
            *error = text;
        if (fd >= 0)
            ::close(fd);
        return false;
    };
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0)
        return fail(errnoText("posix_openpt"), -1);
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0)
        return fail(errnoText("grantpt/unlockpt"), m);
    char name[128];
    if (::ptsname_r(m, name, sizeof name) != 0)
        return fail(errnoText("ptsname_r"), m);
    const int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0)
        return fail(errnoText("open slave"), m);
    // The device speaks raw bytes: no echo, no line editing, no CR/LF translation by the tty.
    termios tio;
    if (::tcgetattr(s, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(s, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);

    QString linkError;
    bool linked = pointLink(linkPath, name, &linkError);
    for (int i = 0; linked && i < extraLinks.size(); ++i)
        linked = pointLink(extraLinks.at(i), name, &linkError);
    if (!linked) {
        // Half a unit is worse than none: a client would find it under one name only.
        removeLinks();
        ::close(s);
        return fail(linkError, m);
    }
    master = m;
    slaveKeep = s;
    pending.clear();
    std::lock_guard<std::mutex> lock(mutex);
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

void PtyServer::Impl::removeLinks()
{
    removeLink(linkPath);
    for (const QString &path : extraLinks)
        removeLink(path);
}

void PtyServer::Impl::closePty()
{
    if (master < 0)
        return;
    removeLinks();
    closeFd(master);
    closeFd(slaveKeep);
    pending.clear();
    ++generation;
    std::lock_guard<std::mutex> lock(mutex);
    slavePath.clear();
}

void PtyServer::Impl::runOnIoThread(const std::function<void()> &fn)
{
    std::unique_lock<std::mutex> lock(mutex);
    // A reply override that unplugs runs on the I/O thread already.
    if (accepting && std::this_thread::get_id() == ioThread) {
        lock.unlock();
        fn();
        return;
    }
    if (!accepting) {
        lock.unlock();
        std::lock_guard<std::mutex> fdLock(fdMutex);
        fn();
        return;
    }
    tasks.push_back(fn);
    const quint64 ticket = ++tasksQueued;
    const char byte = 1;
    if (::write(wake[1], &byte, 1) < 0) {
        // The pipe is non-blocking and a full pipe already wakes the thread.
    }
    tasksDone.wait(lock, [&] { return tasksRun >= ticket; });
}

void PtyServer::Impl::runPendingTasks()
{
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (tasks.empty())
                return;
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++tasksRun;
        }
        tasksDone.notify_all();
    }
}

void PtyServer::Impl::drainWake()
{
    char buffer[64];
    while (::read(wake[0], buffer, sizeof buffer) > 0) {
    }
}

bool PtyServer::Impl::stopping()
{
    std::lock_guard<std::mutex> lock(mutex);
    return stopRequested;
}

// Waits ms while still serving tasks (an unplug during a slow answer must happen now, not after
// it). Returns false when the server is stopping or the pty of generation gen has gone.
bool PtyServer::Impl::pause(int ms, unsigned gen)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        runPendingTasks();
        if (stopping() || gen != generation)
            return false;
        // Rounded up: truncating to whole milliseconds would turn a 1 ms latency into none.
        const auto leftUs =
            std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        if (leftUs <= 0)
            return true;
        pollfd fd = {wake[0], POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>((leftUs + 999) / 1000)) > 0)
            drainWake();
    }
}

bool PtyServer::Impl::writeAll(const QByteArray &bytes, unsigned gen)
{
    int done = 0;
    const auto giveUp = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size()) {
        if (gen != generation || master < 0 || stopping())
            return false;
        const ssize_t n = ::write(master, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        // Nobody reads the slave and its buffer is full: wait a little, then drop the rest.
        if (Clock::now() > giveUp)
            return false;
        pollfd fds[2] = {{master, POLLOUT, 0}, {wake[0], POLLIN, 0}};
        if (::poll(fds, 2, 50) > 0 && (fds[1].revents & POLLIN)) {
            drainWake();
            runPendingTasks();
        }
    }
    return true;
}

void PtyServer::Impl::handleLine(const QByteArray &line)
{
    std::optional<QByteArray> answer;
    std::function<std::optional<QByteArray>(const QByteArray &)> overrideFn;
    int latency = 0;
    int chunk = 0;
    int chunkPause = 0;
    QByteArray prefix;
    QByteArray suffix;
    bool unplugNow = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        log.append(QString::fromUtf8(line));
        if (unplugAfter > 0 && ++commandsSinceArmed >= unplugAfter) {
            unplugAfter = 0;
            unplugNow = true;
        }
        if (!unplugNow && !silent) {
            overrideFn = replyOverride;
            if (!overrideFn)
                answer = device.respond(line);
            latency = latencyMs;
            chunk = chunkBytes;
            chunkPause = chunkPauseMs;
            prefix = garbage;
            suffix = trailing;
        }
    }
    if (unplugNow) {
        closePty();
        return;
    }
    if (overrideFn) {
        // Called without the lock so that it may look at the server's state.
        answer = overrideFn(line);
        if (!answer) {
            std::lock_guard<std::mutex> lock(mutex);
            answer = device.respond(line);
        }
    }
    if (!answer)
        return;

    const unsigned gen = generation;
    if (latency > 0 && !pause(latency, gen))
        return;
    const QByteArray bytes = prefix + *answer + suffix;
    if (chunk <= 0) {
        writeAll(bytes, gen);
        return;
    }
    for (int at = 0; at < bytes.size(); at += chunk) {
        if (at > 0 && chunkPause > 0 && !pause(chunkPause, gen))
            return;
        if (!writeAll(bytes.mid(at, chunk), gen))
            return;
    }
}

void PtyServer::Impl::ioLoop()
{
    std::lock_guard<std::mutex> fdLock(fdMutex);
    {
        std::lock_guard<std::mutex> lock(mutex);
        ioThread = std::this_thread::get_id();
    }
    while (!stopping()) {
        runPendingTasks();
        pollfd fds[2] = {{wake[0], POLLIN, 0}, {master, POLLIN, 0}};
        const int count = master >= 0 ? 2 : 1;
        if (::poll(fds, count, 100) <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            drainWake();
        if (count < 2 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            // Should not happen while we hold the slave open; avoid spinning if it does.
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                pause(20, generation);
            continue;
        }
        pending.append(buffer, static_cast<int>(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0 && master >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            QByteArray command = line;
            while (command.endsWith('\r'))
                command.chop(1);
            handleLine(command);
            if (stopping())
                break;
        }
    }
    // Work queued while stopping still runs, so no caller waits forever.
    {
        std::lock_guard<std::mutex> lock(mutex);
        accepting = false;
    }
    runPendingTasks();
}

PtyServer::PtyServer(const QString &model) : d(std::make_unique<Impl>(model)) {}

PtyServer::~PtyServer()
{
    stop();
}

bool PtyServer::start(QString *error)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->accepting)
            return true;
    }
    if (d->thread.joinable())
        d->thread.join();

    QByteArray dirTemplate = QFile::encodeName(QDir::tempPath()) + "/vantelo-sim-XXXXXX";
    if (!::mkdtemp(dirTemplate.data())) {
        if (error)
            *error = errnoText("mkdtemp");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->dirPath = QFile::decodeName(dirTemplate);
        d->linkPath = d->dirPath + QStringLiteral("/ttySIM") + d->model;
    }
    if (::pipe2(d->wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = errnoText("pipe2");
        ::rmdir(dirTemplate.constData());
        return false;
    }
    {
        std::lock_guard<std::mutex> fdLock(d->fdMutex);
        if (!d->openPty(error)) {
            closeFd(d->wake[0]);
            closeFd(d->wake[1]);
            ::rmdir(dirTemplate.constData());
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopRequested = false;
        d->accepting = true;
    }
    d->thread = std::thread([this] { d->ioLoop(); });
    return true;
}

void PtyServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopRequested = true;
    }
    if (d->wake[1] >= 0) {
        const char byte = 1;
        if (::write(d->wake[1], &byte, 1) < 0) {
            // A full pipe wakes the thread as well.
        }
    }
    if (d->thread.joinable())
        d->thread.join();
    std::lock_guard<std::mutex> fdLock(d->fdMutex);
    d->closePty();
    closeFd(d->wake[0]);
    closeFd(d->wake[1]);
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->dirPath.isEmpty())
        ::rmdir(QFile::encodeName(d->dirPath).constData());
    d->dirPath.clear();
}

QString PtyServer::portPath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->linkPath;
}

QString PtyServer::slavePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->slavePath;
}

bool PtyServer::plugged() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return !d->slavePath.isEmpty();
}

bool PtyServer::setExtraLinks(const QStringList &paths)
{
    bool ok = true;
    d->runOnIoThread([this, &paths, &ok] {
        for (const QString &path : d->extraLinks)
            removeLink(path);
        d->extraLinks = paths;
        if (d->master < 0)
            return;
        const QByteArray target = QFile::encodeName(slavePath());
        for (const QString &path : paths)
            ok = pointLink(path, target.constData(), nullptr) && ok;
    });
    return ok;
}

void PtyServer::setLatencyMs(int ms)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->latencyMs = qMax(0, ms);
}

void PtyServer::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->silent = silent;
}

void PtyServer::unplug()
{
    d->runOnIoThread([this] { d->closePty(); });
}

bool PtyServer::replug()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->linkPath.isEmpty())
            return false; // never started
    }
    bool ok = false;
    d->runOnIoThread([this, &ok] {
        d->closePty();
        ok = d->openPty(nullptr);
    });
    return ok;
}

void PtyServer::setUnplugAfterCommands(int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->unplugAfter = qMax(0, count);
    d->commandsSinceArmed = 0;
}

void PtyServer::setChunking(int chunkBytes, int pauseMs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->chunkBytes = qMax(0, chunkBytes);
    d->chunkPauseMs = qMax(0, pauseMs);
}

void PtyServer::setTrailingBytes(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->trailing = bytes;
}

void PtyServer::setGarbage(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->garbage = bytes;
}

void PtyServer::setReplyOverride(
    std::function<std::optional<QByteArray>(const QByteArray &line)> fn)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->replyOverride = std::move(fn);
}

void PtyServer::clearFaults()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->latencyMs = 0;
    d->silent = false;
    d->unplugAfter = 0;
    d->commandsSinceArmed = 0;
    d->chunkBytes = 0;
    d->chunkPauseMs = 0;
    d->trailing.clear();
    d->garbage.clear();
    d->replyOverride = nullptr;
}

QStringList PtyServer::commandLog() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->log;
}

void PtyServer::clearLog()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->log.clear();
}

QStringList PtyServer::takeCommandLog()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    QStringList taken;
    taken.swap(d->log);
    return taken;
}

DeviceState PtyServer::state() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->device.state();
}

void PtyServer::modifyState(const std::function<void(DeviceState &)> &fn)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    fn(d->device.state());
}

void PtyServer::setSeed(int seed)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state() = d->device.seededState(seed);
}

void PtyServer::setUid(const QString &uid)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.setUid(uid);
}

QString PtyServer::uid() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->device.uid();
}

} // namespace sim
