#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QTimer>

// While alive, watches for modal message boxes (every ~10 ms, so it also runs inside the nested
// event loop of QMessageBox::exec()), records each one once and, unless told otherwise, presses
// its OK button. Tests use it to answer the boxes the program puts up and to check their texts.
class ModalCatcher : public QObject
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QPoint position; // where the box stood when it was seen
        QSize size;
    };

    enum class Mode
    {
        CloseAtOnce,     // press OK as soon as the box is seen
        CloseAfterDelay, // press OK closeDelayMs after the box was seen
        LeaveOpen        // record only; the test closes the box (closeOpenBoxes)
    };

    explicit ModalCatcher(Mode mode = Mode::CloseAtOnce, int closeDelayMs = 0);
    ~ModalCatcher() override;

    void setMode(Mode mode, int closeDelayMs = 0);

    QList<Message> messages() const { return m_messages; }
    int count() const { return m_messages.size(); }
    Message last() const { return m_messages.isEmpty() ? Message() : m_messages.last(); }

    // Spins the event loop until at least n boxes have been seen; false on timeout.
    bool waitForCount(int n, int timeoutMs = 5000);
    // The message box that is open now, if any.
    QMessageBox *openBox() const;
    // Presses OK (or the default/escape button) on every message box that is open.
    void closeOpenBoxes();

private:
    void poll();
    static void press(QMessageBox *box);

    QTimer m_timer;
    Mode m_mode;
    int m_closeDelayMs;
    QList<Message> m_messages;
};
