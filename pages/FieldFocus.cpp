#include "pages/FieldFocus.h"

#include "ui/Theme.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

FieldFocus::FieldFocus(QGroupBox *group, QLabel *caption, QWidget *field, FocusEvents focusEvents)
    : QObject(field), m_group(group), m_caption(caption), m_edit(qobject_cast<QLineEdit *>(field)),
      m_combo(qobject_cast<QComboBox *>(field)), m_focusEvents(focusEvents)
{
    field->installEventFilter(this);
}

void FieldFocus::watch(QGroupBox *group, QLabel *caption, QLineEdit *edit)
{
    new FieldFocus(group, caption, edit, FocusEvents::PassOn);
}

void FieldFocus::watch(QGroupBox *group, QLabel *caption, QComboBox *combo, FocusEvents focusEvents)
{
    new FieldFocus(group, caption, combo, focusEvents);
}

void FieldFocus::highlight(bool focused)
{
    if (m_edit) {
        if (focused)
            applyEditGroupFocusStyle(m_group, m_caption, m_edit);
        else
            applyEditGroupStyle(m_group, m_caption, m_edit);
    } else if (m_combo) {
        if (focused)
            applyComboGroupFocusStyle(m_group, m_caption, m_combo);
        else
            applyComboGroupStyle(m_group, m_caption, m_combo);
    }
}

bool FieldFocus::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        highlight(event->type() == QEvent::FocusIn);
        return m_focusEvents == FocusEvents::Consume;
    case QEvent::Wheel:
        return m_combo != nullptr;
    default:
        return QObject::eventFilter(watched, event);
    }
}

void finishEditing(QLineEdit *edit)
{
    const QSignalBlocker blocker(edit);
    edit->clearFocus();
}
