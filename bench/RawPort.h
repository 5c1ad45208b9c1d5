#pragma once

// A client of the simulator that does only what any program must: write the line, poll, read in
// chunks until the prompt has arrived. Its round trips are the floor the program is measured
// against.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class RawPort
{
public:
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool open(const QString &path)
    {
        m_fd =
            ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        termios tio;
        if (::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
        return true;
    }

    bool roundTrip(const QByteArray &command, const QByteArray &prompt)
    {
        const char *out = command.constData();
        size_t left = static_cast<size_t>(command.size());
        while (left > 0) {
            const ssize_t n = ::write(m_fd, out, left);
            if (n > 0) {
                out += n;
                left -= static_cast<size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                pollfd p = {m_fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
        size_t have = 0;
        for (;;) {
            pollfd p = {m_fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                return false;
            const ssize_t n = ::read(m_fd, m_buffer + have, sizeof m_buffer - have);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return false;
            have += static_cast<size_t>(n);
            if (::memmem(m_buffer, have, prompt.constData(), static_cast<size_t>(prompt.size())))
                return true;
            if (have == sizeof m_buffer)
                return false;
        }
    }

private:
    int m_fd = -1;
    char m_buffer[8192];
};
