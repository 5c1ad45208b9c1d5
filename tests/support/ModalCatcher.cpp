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
    // Boxes are usually stack objects that die when exec() returns; forget the ones no longer
    // shown so a new box at a reused address is still recorded.
    for (int i = m_seen.size() - 1; i >= 0; --i) {
        if (!QApplication::topLevelWidgets().contains(m_seen.at(i)) || !m_seen.at(i)->isVisible())
            m_seen.removeAt(i);
    }

    QMessageBox *box = openBox();
    if (!box || !box->isVisible() || m_seen.contains(box))
        return;
    m_seen.append(box);
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
