#include "link/Serial.h"

#include "link/ReplyParsing.h"

#include <QMutexLocker>

namespace {

// Before the model is known the prompt is this placeholder, and a reply can only end in silence.
const QLatin1String kUnknownPrompt(":");

const int kReadWaitMs = 100;
const int kReadAttempts = 10;

bool isKnownPrompt(const QString &prompt)
{
    return prompt != kUnknownPrompt;
}

// A reply counts as an answer when something other than prompts and blanks came back; line
// breaks are content, so "\n714x:" answers while a bare "714x:" (an echo of an earlier prompt)
// does not.
bool hasAnswer(const QString &reply, const QString &prompt)
{
    QString rest = reply;
    if (!prompt.isEmpty())
        rest.remove(prompt, Qt::CaseSensitive);
    rest.remove(QLatin1Char(' '));
    return !rest.isEmpty();
}

QString withBlanksForLineBreaks(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

} // namespace

Serial::Serial() = default;

Serial::~Serial()
{
    close();
}

void Serial::setPortName(const QString &name)
{
    m_portName = name;
}

void Serial::setPrompt(const QString &prompt)
{
    m_prompt = prompt;
}

int Serial::open()
{
    if (m_openFlag)
        return -2;
    // The port page lists a "None" entry when nothing is attached; it must never reach the
    // serial library.
    if (m_portName.isEmpty() || m_portName.contains(QLatin1String("None"), Qt::CaseSensitive))
        return -3;

    // A failed liveness check closes the port behind a still-set flag; close() clears both, but
    // make sure a stale handle cannot turn a good open into "already open".
    if (m_port.isOpen())
        m_port.close();

    m_port.setPortName(m_portName);
    if (!m_port.open(QIODevice::ReadWrite))
        return m_port.error() == QSerialPort::PermissionError ? -4 : -1;

    m_openFlag = true;
    m_port.flush();
    // Whatever the device printed before we opened (a prompt, boot chatter) would otherwise be
    // taken for the answer to the first command.
    while (m_port.bytesAvailable() > 0 || m_port.waitForReadyRead(0))
        m_port.readAll();
    return 0;
}

bool Serial::close()
{
    if (!m_openFlag)
        return false;
    m_openFlag = false;
    m_respondingFlag = false;
    m_port.close();
    return true;
}

bool Serial::isOpen() const
{
    return m_openFlag;
}

bool Serial::isResponding() const
{
    return m_respondingFlag;
}

bool Serial::sendCommand(const QString &command, QString &reply)
{
    QMutexLocker locker(&m_lock);
    if (!m_openFlag)
        return false;

    if (m_port.write(command.toUtf8()) < 1) {
        m_port.close();
        m_openFlag = false;
    } else {
        m_port.waitForBytesWritten(kReadWaitMs);
    }

    reply.clear();
    bool answered = false;
    for (int attempt = 0; attempt < kReadAttempts && !answered; ++attempt) {
        readReply(reply);
        answered = hasAnswer(reply, m_prompt);
    }
    // Ten silent reads mean the device is gone (unplugged, or hung); the next poll must see a
    // closed channel rather than wait on it again.
    if (!answered) {
        m_port.close();
        m_openFlag = false;
    }

    reply = withBlanksForLineBreaks(reply);
    return true;
}

bool Serial::sendCommand(const QString &command, QString &reply, int first, int last)
{
    QString whole;
    if (!sendCommand(command, whole))
        return false;
    reply = reply::fieldRange(whole, first, last);
    return true;
}

bool Serial::extractQuoted(const QString &text, QString &result, const QString &delimiter)
{
    result = reply::quoted(text, delimiter);
    return true;
}

bool Serial::identify(QString &model)
{
    if (!m_openFlag)
        return false;
    m_port.write("getFWInfo\n");
    m_port.waitForBytesWritten(kReadWaitMs);
    QString reply;
    readReply(reply);
    return reply::modelFromFirmwareInfo(reply, model);
}

bool Serial::ping()
{
    // Pre-set so that a channel that is not open leaves something without a prompt behind.
    QString reply = QStringLiteral("\n");
    sendCommand(QStringLiteral("\n"), reply);
    if (reply.contains(m_prompt, Qt::CaseSensitive)) {
        m_respondingFlag = true;
        return true;
    }
    m_respondingFlag = false;
    // The flag stays set: the poll that called us closes the channel properly right after.
    m_port.close();
    return false;
}

bool Serial::readReply(QString &reply)
{
    reply.clear();
    const bool knownPrompt = isKnownPrompt(m_prompt);
    // A closed port (failed write, failed liveness check) has nothing to deliver; waiting on it
    // would only add a second of blocked user interface to a transaction already known lost.
    if (!m_port.isOpen())
        return true;
    for (;;) {
        if (!m_port.waitForReadyRead(kReadWaitMs) && m_port.bytesAvailable() <= 0)
            return true;
        while (m_port.bytesAvailable() > 0) {
            char byte = 0;
            if (m_port.getChar(&byte))
                reply.append(QChar(static_cast<uchar>(byte)));
            // Stop at the prompt so that anything the device sends after it stays buffered for
            // the next reply.
            if (knownPrompt && reply.endsWith(m_prompt))
                return true;
        }
        if (knownPrompt && reply.contains(m_prompt))
            return true;
    }
}

bool Serial::isLockFree()
{
    if (!m_lock.tryLock())
        return false;
    m_lock.unlock();
    return true;
}
