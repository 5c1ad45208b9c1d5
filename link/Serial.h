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
// silence while the model (and so its prompt) is not yet known.
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
    Serial();
    ~Serial() override;

    void setPortName(const QString &name);
    void setPrompt(const QString &prompt);

    // 0 success, -1 open failed, -2 already open, -3 unusable port name, -4 port busy.
    int open();
    bool close();
    bool isOpen() const;
    bool isResponding() const;

    // False only when the channel was not open when the call began; the reply may be empty.
    bool sendCommand(const QString &command, QString &reply);
    // As above, then keeps blank-separated fields first..last (empty fields not counted).
    bool sendCommand(const QString &command, QString &reply, int first, int last);
    bool extractQuoted(const QString &text, QString &result, const QString &delimiter);

    // silentReads: how many 100 ms silences end the wait for the answer; the window's quick
    // look takes one, a tool that opens a unit once may wait as long as for any command.
    bool identify(QString &model, int silentReads = 1);
    // Whether the last identification got any bytes back: a unit that says something else than
    // its model is another fault than one that says nothing.
    bool lastIdentifyAnswered() const { return m_identifyAnswered; }
    bool ping();
    bool readReply(QString &reply);

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

    QString m_portName;
    QString m_prompt = QStringLiteral(":");
    QSerialPort m_port;
    bool m_openFlag = false;
    bool m_respondingFlag = false;
    bool m_identifyAnswered = false;
    // The echoes of commands whose transactions ended before their answers came, oldest first,
    // and the current command's last.
    QByteArrayList m_unanswered;
    QMutex m_lock;
};
