#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The one command channel to the attached device: one blocking command/reply transaction per
// call, on the calling (GUI) thread. A reply ends at the device's prompt, or after 100 ms of
// silence while the model (and so its prompt) is not yet known.
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

    bool identify(QString &model);
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

    QString m_portName;
    QString m_prompt = QStringLiteral(":");
    QSerialPort m_port;
    bool m_openFlag = false;
    bool m_respondingFlag = false;
    bool m_identifyAnswered = false;
    QMutex m_lock;
};
