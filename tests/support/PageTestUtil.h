#pragma once

#include "support/DeviceFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QWheelEvent>

// Opens the simulated device, hands its channel to the page and empties the command log, so the
// log holds only what the test provokes.
#define CONNECT_PAGE(device, page)                                                                 \
    do {                                                                                           \
        QVERIFY2((device).connect(), qPrintable((device).lastError()));                            \
        (page).setSerial(&(device).serial);                                                        \
        (device).server.clearLog();                                                                \
    } while (false)

namespace pagetest {

template <class T> T *child(const QObject &parent, const char *name)
{
    return parent.findChild<T *>(QString::fromLatin1(name));
}

// As a user choosing from the open list with the keyboard: the box moves and emits activated.
inline void choose(QComboBox *box, int index)
{
    box->setCurrentIndex(index == 0 ? 1 : index - 1);
    QTest::keyClick(box, index == 0 ? Qt::Key_Up : Qt::Key_Down);
}

// Focus only moves inside the active window.
inline bool activate(QWidget &page)
{
    page.show();
    QApplication::setActiveWindow(&page);
    return QTest::qWaitForWindowActive(&page);
}

inline bool focus(QWidget *widget)
{
    widget->setFocus();
    return QTest::qWaitFor([widget] { return widget->hasFocus(); });
}

// One notch of the wheel downwards over the widget's centre.
inline void wheelDown(QWidget *widget)
{
    const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(centre, widget->mapToGlobal(centre.toPoint()), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace pagetest
