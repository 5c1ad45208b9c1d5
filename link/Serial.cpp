#include "link/Serial.h"

#include "unit/ReplyParsing.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMutexLocker>

// Traffic trace for support: off unless QT_LOGGING_RULES="vantelo.serial.debug=true".
Q_LOGGING_CATEGORY(lcSerial, "vantelo.serial", QtWarningMsg)

namespace {

// Before the model is known the prompt is this placeholder, and a reply can only end in silence.
const QLatin1String kUnknownPrompt(":");

const int kReadWaitMs = 100;
const int kReadAttempts = 10;

// Bounds that no genuine answer comes near (the longest, the firmware information, is a few
// hundred bytes; ten silent reads take about a second). A device that streams past them is
// treated like one that does not answer, so the GUI thread is never held longer than this.
const int kReplyByteLimit = 64 * 1024;
const int kReadTimeLimitMs = 2000;

// Enough of a runaway reply to recognise it in a trace without flooding the trace.
const int kTraceExcerptChars = 200;

// Qt 5's QString::fromUtf8(QByteArray) stops at the first NUL byte; a stray NUL from a device
// would otherwise throw away the whole answer and make a live device look silent.
QString utf8Text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

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

// Late answers of this many commands are recognised; a unit that far behind is lost anyway.
const int kUnansweredLimit = 8;

// The command line as the device echoes it: without its line terminators.
QByteArray echoOf(const QString &command)
{
    QByteArray echo = command.toUtf8();
    while (echo.endsWith('\n') || echo.endsWith('\r'))
        echo.chop(1);
    return echo;
}

QByteArray firstLine(const QByteArray &bytes)
{
    const int end = bytes.indexOf('\n');
    QByteArray line = end < 0 ? bytes : bytes.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Noise on the line may come before the echo, so the echo ends the line rather than fills it; the
// empty echo of a bare line break is an empty line.
bool carriesEcho(const QByteArray &line, const QByteArray &echo)
{
    return echo.isEmpty() ? line.isEmpty() : line.endsWith(echo);
}

QString withBlanksForLineBreaks(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// One trace line per exchange: line breaks and other control characters made visible, quoted.
QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        const ushort code = c.unicode();
        switch (code) {
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        default:
            if (code < 0x20 || code == 0x7f)
                out += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out;
}

QString excerpt(const QByteArray &bytes)
{
    return escaped(utf8Text(bytes.left(kTraceExcerptChars))) + QLatin1String("...");
}

const char *openResultText(Serial::OpenResult result)
{
    switch (result) {
    case Serial::OpenResult::Opened:
        return "opened";
    case Serial::OpenResult::AlreadyOpen:
        return "already open";
    case Serial::OpenResult::UnusableName:
        return "unusable port name";
    case Serial::OpenResult::Busy:
    case Serial::OpenResult::NoPermission:
        return "port busy";
    case Serial::OpenResult::Failed:
        break;
    }
    return "open failed";
}

} // namespace

Serial::Serial() = default;

Serial::~Serial()
{
    close();
}

void Serial::setPortName(const QString &name)
{
    // Late answers come from the unit they were asked of.
    if (name != m_portName)
        m_unanswered.clear();
    m_portName = name;
}

void Serial::setPrompt(const QString &prompt)
{
    m_prompt = prompt;
    qCDebug(lcSerial).noquote() << "prompt" << escaped(prompt);
}

Serial::OpenResult Serial::open()
{
    OpenResult result = OpenResult::Opened;
    if (m_openFlag) {
        result = OpenResult::AlreadyOpen;
    } else if (m_portName.isEmpty() ||
               m_portName.contains(QLatin1String("None"), Qt::CaseSensitive)) {
        // An empty name, or one that names no port ("None"), must never reach the serial
        // library.
        result = OpenResult::UnusableName;
    } else {
        // Make sure a stale handle cannot turn a good open into "already open".
        if (m_port.isOpen())
            m_port.close();

        m_port.setPortName(m_portName);
        if (!m_port.open(QIODevice::ReadWrite)) {
            result = m_port.error() == QSerialPort::PermissionError ? OpenResult::Busy
                                                                    : OpenResult::Failed;
        } else {
            m_openFlag = true;
            m_port.flush();
            // Whatever the device printed before we opened (a prompt, boot chatter) would
            // otherwise be taken for the answer to the first command.
            drainPending();
        }
    }
    const bool systemSaid = result == OpenResult::Failed || result == OpenResult::Busy;
    qCDebug(lcSerial).noquote() << "open" << escaped(m_portName) << "->"
                                << QStringLiteral("%1%2").arg(QLatin1String(openResultText(result)),
                                                              systemSaid ? QStringLiteral(": ") +
                                                                               m_port.errorString()
                                                                         : QString());
    return result;
}

bool Serial::close()
{
    if (!m_openFlag) {
        qCDebug(lcSerial) << "close -> false (was not open)";
        return false;
    }
    closePort();
    qCDebug(lcSerial) << "close -> true";
    return true;
}

bool Serial::isOpen() const
{
    return m_openFlag;
}

void Serial::closePort()
{
    m_port.close();
    m_openFlag = false;
}

// An overrun ends the transaction the way ten empty reads do: the channel closes and the caller
// gets an empty reply. Handing back a partial reply from a device in that state would let a page
// read values out of noise and write them back.
Serial::Outcome Serial::transact(const QString &command, QString &reply)
{
    QMutexLocker locker(&m_lock);
    reply.clear();
    if (!m_openFlag) {
        qCDebug(lcSerial).noquote() << "not sent, channel closed:" << escaped(command);
        return Outcome::Closed;
    }

    QElapsedTimer took;
    took.start();
    const QDeadlineTimer deadline(kReadTimeLimitMs);
    drainPending();
    qCDebug(lcSerial).noquote() << "send" << escaped(command);
    const QByteArray echo = echoOf(command);
    noteSent(echo);

    if (m_port.write(command.toUtf8()) < 1) {
        qCDebug(lcSerial).noquote()
            << "write failed:" << m_port.errorString() << "- channel closed";
        closePort();
    } else {
        m_port.waitForBytesWritten(kReadWaitMs);
    }

    Outcome outcome = Outcome::Silent;
    for (int attempt = 1; attempt <= kReadAttempts && outcome == Outcome::Silent; ++attempt) {
        QByteArray bytes;
        const ReadEnd end = readBytes(bytes, deadline);
        if (end == ReadEnd::TooLong || end == ReadEnd::OutOfTime) {
            outcome = Outcome::Overrun;
            qCDebug(lcSerial).noquote()
                << "overrun in read" << attempt << "after" << took.elapsed() << "ms:"
                << (end == ReadEnd::TooLong
                        ? QStringLiteral("no prompt within %1 bytes").arg(kReplyByteLimit)
                        : QStringLiteral("still sending after %1 ms").arg(kReadTimeLimitMs))
                << "- received" << bytes.size() << "bytes" << excerpt(bytes);
            break;
        }
        // A late answer alone is no silence: the unit is talking, only not yet about this.
        if (dropLateAnswers(bytes, echo) && bytes.isEmpty()) {
            --attempt;
            continue;
        }
        const QString text = utf8Text(bytes);
        if (hasAnswer(text, m_prompt)) {
            outcome = Outcome::Answered;
            reply = withBlanksForLineBreaks(text);
        } else if (!text.isEmpty()) {
            qCDebug(lcSerial).noquote() << "no answer in read" << attempt << escaped(text);
        }
    }
    switch (outcome) {
    case Outcome::Answered:
        m_unanswered.removeLast();
        qCDebug(lcSerial).noquote()
            << "reply" << escaped(reply) << QStringLiteral("(%1 ms)").arg(took.elapsed());
        break;
    case Outcome::Silent:
        qCDebug(lcSerial).noquote()
            << "unanswered after" << kReadAttempts << "reads"
            << QStringLiteral("(%1 ms)").arg(took.elapsed()) << "- channel closed";
        break;
    case Outcome::Overrun:
    case Outcome::Closed:
        qCDebug(lcSerial).noquote()
            << "channel closed after overrun" << QStringLiteral("(%1 ms)").arg(took.elapsed());
        break;
    }
    // The next poll must see a closed channel rather than wait on it again.
    if (outcome != Outcome::Answered)
        closePort();
    return outcome;
}

// A device that floods the line is no valid device; closing its port also stops the stream from
// piling up in the port's buffer while the user reads the message about it.
Serial::Outcome Serial::probe(const QString &command, QString &reply, int silentReads)
{
    QMutexLocker locker(&m_lock);
    reply.clear();
    if (!m_openFlag) {
        qCDebug(lcSerial).noquote() << "not asked, channel closed:" << escaped(command);
        return Outcome::Closed;
    }
    QElapsedTimer took;
    took.start();
    const QDeadlineTimer deadline(kReadTimeLimitMs);
    drainPending();
    const QByteArray echo = echoOf(command);
    qCDebug(lcSerial).noquote() << "ask" << escaped(command);
    noteSent(echo);
    m_port.write(command.toUtf8());
    m_port.waitForBytesWritten(kReadWaitMs);
    QByteArray bytes;
    ReadEnd end = ReadEnd::Silence;
    for (int silences = 0; silences < silentReads;) {
        end = readBytes(bytes, deadline);
        if (end == ReadEnd::TooLong || end == ReadEnd::OutOfTime)
            break;
        if (dropLateAnswers(bytes, echo) && bytes.isEmpty())
            continue;
        if (!bytes.isEmpty())
            break;
        ++silences;
    }
    if (end == ReadEnd::TooLong || end == ReadEnd::OutOfTime) {
        qCDebug(lcSerial).noquote()
            << "ask: overrun after" << took.elapsed() << "ms, received" << bytes.size() << "bytes"
            << excerpt(bytes) << "- channel closed";
        closePort();
        return Outcome::Overrun;
    }
    if (bytes.isEmpty()) {
        qCDebug(lcSerial).noquote()
            << "ask: no answer" << QStringLiteral("(%1 ms)").arg(took.elapsed());
        return Outcome::Silent;
    }
    m_unanswered.removeLast();
    reply = withBlanksForLineBreaks(utf8Text(bytes));
    qCDebug(lcSerial).noquote() << "ask: reply" << escaped(reply)
                                << QStringLiteral("(%1 ms)").arg(took.elapsed());
    return Outcome::Answered;
}

bool Serial::sendCommand(const QString &command, QString &reply)
{
    QString answer;
    if (transact(command, answer) == Outcome::Closed)
        return false;
    reply = answer;
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

// Collects bytes, not characters: the prompt is ASCII and is found the same way, and the reply is
// decoded only once it is complete, so a multi-byte character split across reads stays whole.
Serial::ReadEnd Serial::readBytes(QByteArray &bytes, const QDeadlineTimer &deadline)
{
    bytes.clear();
    // A closed port (failed write, failed liveness check) has nothing to deliver; waiting on it
    // would only add a second of blocked user interface to a transaction already known lost.
    if (!m_port.isOpen())
        return ReadEnd::Silence;
    const bool knownPrompt = isKnownPrompt(m_prompt);
    const QByteArray promptBytes = m_prompt.toUtf8();
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return ReadEnd::OutOfTime;
        const int waitMs = static_cast<int>(qMin<qint64>(kReadWaitMs, left));
        if (!m_port.waitForReadyRead(waitMs) && m_port.bytesAvailable() <= 0)
            // A shortened wait proves no 100 ms of silence: the budget ran out first.
            return waitMs < kReadWaitMs ? ReadEnd::OutOfTime : ReadEnd::Silence;
        while (m_port.bytesAvailable() > 0) {
            if (bytes.size() >= kReplyByteLimit)
                return ReadEnd::TooLong;
            char byte = 0;
            if (!m_port.getChar(&byte))
                break;
            bytes.append(byte);
            // Stop at the prompt so that anything the device sends after it stays buffered for
            // the next reply.
            if (knownPrompt && bytes.endsWith(promptBytes))
                return ReadEnd::Prompt;
        }
    }
}

void Serial::drainPending()
{
    // A device that never stops sending must not hold the GUI thread here either: the drain gets
    // the same time budget as a read, and what is left is stale all the same.
    qint64 discarded = 0;
    QElapsedTimer drainTime;
    drainTime.start();
    while ((m_port.bytesAvailable() > 0 || m_port.waitForReadyRead(0)) &&
           !drainTime.hasExpired(kReadTimeLimitMs))
        discarded += m_port.readAll().size();
    if (discarded > 0)
        qCDebug(lcSerial) << "discarded" << discarded << "bytes waiting on the port";
}

void Serial::noteSent(const QByteArray &echo)
{
    if (m_unanswered.size() >= kUnansweredLimit)
        m_unanswered.removeFirst();
    m_unanswered.append(echo);
}

// True when something was dropped; bytes keeps what follows the late answers. A reply that
// carries no echo at all (a unit or a fault that does not echo) is left for the caller: only an
// answer positively marked as another command's is dropped.
bool Serial::dropLateAnswers(QByteArray &bytes, const QByteArray &echo)
{
    bool dropped = false;
    while (!bytes.isEmpty()) {
        const QByteArray line = firstLine(bytes);
        if (carriesEcho(line, echo))
            break;
        int late = 0;
        while (late < m_unanswered.size() - 1 && !carriesEcho(line, m_unanswered.at(late)))
            ++late;
        if (late >= m_unanswered.size() - 1)
            break;
        const QByteArray lateEcho = m_unanswered.takeAt(late);
        // With the prompt known the read ended at the late answer's prompt; before that, a
        // silence may have joined it to the answer sought, whose echo then starts a line.
        int rest = -1;
        if (isKnownPrompt(m_prompt)) {
            rest = bytes.indexOf(m_prompt.toUtf8());
            rest = rest < 0 ? -1 : rest + m_prompt.toUtf8().size();
        } else {
            for (int at = bytes.indexOf('\n'); at >= 0 && rest < 0;
                 at = bytes.indexOf('\n', at + 1)) {
                if (carriesEcho(firstLine(bytes.mid(at + 1)), echo) && !echo.isEmpty())
                    rest = at + 1;
            }
        }
        qCDebug(lcSerial).noquote() << "dropped a late answer to" << escaped(utf8Text(lateEcho))
                                    << excerpt(rest < 0 ? bytes : bytes.left(rest));
        bytes = rest < 0 ? QByteArray() : bytes.mid(rest);
        dropped = true;
    }
    return dropped;
}

bool Serial::isLockFree()
{
    if (!m_lock.tryLock())
        return false;
    m_lock.unlock();
    return true;
}
