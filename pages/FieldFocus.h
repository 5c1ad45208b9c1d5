#pragma once

#include <QObject>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// Gives one field of a page its focus highlighting (the field's group lights up while the field
// has the keyboard focus) and, for a combo box, the wheel guard: scrolling a page over a combo
// box must never change a device setting on the way. Owned by the field it watches.
class FieldFocus : public QObject
{
    Q_OBJECT

public:
    // Whether the field itself still receives its focus events. The bump selector has always
    // kept them from its combo box.
    enum class FocusEvents
    {
        PassOn,
        Consume
    };

    static void watch(QGroupBox *group, QLabel *caption, QLineEdit *edit);
    static void watch(QGroupBox *group, QLabel *caption, QComboBox *combo,
                      FocusEvents focusEvents = FocusEvents::PassOn);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FieldFocus(QGroupBox *group, QLabel *caption, QWidget *field, FocusEvents focusEvents);
    void highlight(bool focused);

    QGroupBox *m_group;
    QLabel *m_caption;
    QLineEdit *m_edit = nullptr;
    QComboBox *m_combo = nullptr;
    FocusEvents m_focusEvents;
};

// Takes the focus from a line edit whose edit has just been handled. Losing the focus makes a
// line edit report editingFinished a second time, which would send the same write again.
void finishEditing(QLineEdit *edit);
