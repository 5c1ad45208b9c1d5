#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The one command channel to the attached device: one blocking command/reply transaction per
// call, on the calling (GUI) thread. A reply ends at the device's prompt, or after 100 ms of
// silence while the model (and so its prompt) is not yet known. The channel moves bytes and knows
// where an answer ends; what a unit is and what its answers mean belong to the session and the
// settings table.
//
// The device starts each answer with the command line it received. An answer that starts with
// the line of an earlier command, one whose transaction ended before its answer came (a slow
// unit), is that command's late answer: it is dropped and the channel reads on, so a command
// never reports another command's answer. Whatever waits on the line before a command is
// dropped for the same reason.
class Serial : public QObject
{
    Q_OBJECT

public:
    enum class OpenResult
    {
        Opened,
        AlreadyOpen,
        UnusableName, // empty, or names no port ("None")
        Busy,         // the system refused the port: another program holds it, or this user may
                      // not open it (the session tells the two apart as NoPermission)
        NoPermission,
        Failed, // anything else: the port does not exist, an I/O error
    };

    // How a transaction ended. Silent and Overrun close the channel: a unit that says nothing
    // for a second is gone (unplugged, or hung), and one that never stops talking is no better.
    enum class Outcome
    {
        Answered, // something other than prompts and blanks came back
        Silent,
        Overrun, // more than any genuine answer's size, or still sending when the time ran out
        Closed,  // the channel was not open when the call began: nothing was sent
    };

    Serial();
    ~Serial() override;

    void setPortName(const QString &name);
    void setPrompt(const QString &prompt);

    OpenResult open();
    bool close();
    bool isOpen() const;

    // One command and its reply, line breaks as blanks; the reply is empty unless Answered.
    Outcome transact(const QString &command, QString &reply);
    // A question to a unit whose prompt is not known yet: the first bytes that come back are its
    // answer (Answered), whatever they say, after at most silentReads silences of 100 ms. Silence
    // leaves the channel open, for a unit still busy to be asked again; an overrun closes it.
    Outcome probe(const QString &command, QString &reply, int silentReads);

    // The pages' form of transact(): false only when the channel was not open when the call
    // began (the reply is then left alone); otherwise the reply, which may be empty.
    bool sendCommand(const QString &command, QString &reply);
    // As above, then keeps blank-separated fields first..last (empty fields not counted).
    bool sendCommand(const QString &command, QString &reply, int first, int last);

    // Introspection for tests and diagnostics; not part of the device protocol.
    QString portName() const { return m_portName; }
    QString prompt() const { return m_prompt; }
    bool isLockFree();

private:
    // How one read loop ended. Overrun: the device went on sending past any genuine answer's
    // size, or the time budget ran out while it was still talking.
    enum class ReadEnd
    {
        Prompt,
        Silence,
        TooLong,
        OutOfTime
    };
    ReadEnd readBytes(QByteArray &bytes, const QDeadlineTimer &deadline);
    void drainPending();
    void noteSent(const QByteArray &echo);
    bool dropLateAnswers(QByteArray &bytes, const QByteArray &echo);
    void closePort();

    QString m_portName;
    QString m_prompt = QStringLiteral(":");
    QSerialPort m_port;
    bool m_openFlag = false;
    // The echoes of commands whose transactions ended before their answers came, oldest first,
    // and the current command's last.
    QByteArrayList m_unanswered;
    QMutex m_lock;
};
