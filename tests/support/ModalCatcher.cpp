#include "support/ModalCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>

ModalCatcher::ModalCatcher(Mode mode, int closeDelayMs) : m_mode(mode), m_closeDelayMs(closeDelayMs)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalCatcher::poll);
    m_timer.start(10);
}

ModalCatcher::~ModalCatcher()
{
    m_timer.stop();
}

void ModalCatcher::setMode(Mode mode, int closeDelayMs)
{
    m_mode = mode;
    m_closeDelayMs = closeDelayMs;
}

bool ModalCatcher::waitForCount(int n, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (m_messages.size() < n) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

QMessageBox *ModalCatcher::openBox() const
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
        return box;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (box && box->isVisible())
            return box;
    }
    return nullptr;
}

void ModalCatcher::closeOpenBoxes()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *box = qobject_cast<QMessageBox *>(window);
        if (box && box->isVisible())
            press(box);
    }
}

namespace {
const char *const seenMark = "modalCatcherSeen";
} // namespace

void ModalCatcher::press(QMessageBox *box)
{
    QAbstractButton *button = box->button(QMessageBox::Ok);
    if (!button)
        button = box->defaultButton();
    if (!button)
        button = box->escapeButton();
    if (button)
        button->click();
    else
        box->done(QMessageBox::Ok);
}

void ModalCatcher::poll()
{
    // Boxes are usually stack objects, and a new one often stands at the address of the last:
    // the mark goes with the object, so a box is recorded once and every new box is seen.
    QMessageBox *box = openBox();
    if (!box || !box->isVisible() || box->property(seenMark).toBool())
        return;
    box->setProperty(seenMark, true);
    Message message;
    message.title = box->windowTitle();
    message.text = box->text();
    message.icon = box->icon();
    message.position = box->pos();
    message.size = box->size();
    m_messages.append(message);

    switch (m_mode) {
    case Mode::CloseAtOnce:
        press(box);
        break;
    case Mode::CloseAfterDelay: {
        QPointer<QMessageBox> guard(box);
        QTimer::singleShot(m_closeDelayMs, this, [guard] {
            if (guard && guard->isVisible())
                press(guard);
        });
        break;
    }
    case Mode::LeaveOpen:
        break;
    }
}
