#include "pages/FieldBinding.h"

#include "unit/UserText.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

// Losing the focus makes a line edit report editingFinished a second time, which would send the
// same write again.
void finishEditing(QLineEdit *edit)
{
    const QSignalBlocker blocker(edit);
    edit->clearFocus();
}

} // namespace

FieldBinding::FieldBinding(const Page *page, QWidget *field, const QString &key,
                           const Captions &captions)
    : QObject(field), onEdit([this] { write(m_key); }), m_page(page), m_field(field), m_key(key),
      m_captions(captions)
{
    m_group = qobject_cast<QGroupBox *>(field->parentWidget());
    m_caption =
        m_group ? m_group->findChild<QLabel *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    const auto edited = [this] { onEdit(); };
    if (auto *box = qobject_cast<QComboBox *>(field)) {
        // The entries in the table's order, translated where the page keeps its texts: an entry's
        // position is the device's number. A page whose entries read otherwise fills them itself.
        const settings::Setting *row = setting(key);
        if (box->count() == 0 && row) {
            for (const QString &entry : row->entries)
                box->addItem(
                    QCoreApplication::translate(page->textContext(), entry.toUtf8().constData()));
        }
        connect(box, QOverload<int>::of(&QComboBox::activated), this, edited);
    } else if (auto *check = qobject_cast<QCheckBox *>(field)) {
        applyCheckBoxStyle(check);
        connect(check, &QCheckBox::clicked, this, edited);
    } else if (auto *edit = qobject_cast<QLineEdit *>(field)) {
        const settings::Setting *row = setting(key);
        if (row && row->maxLength > 0)
            edit->setMaxLength(row->maxLength);
        m_failTime = row && row->kind == settings::Kind::FailTime;
        if (m_failTime) {
            connect(edit, &QLineEdit::editingFinished, this, &FieldBinding::timeCommit);
            connect(edit, &QLineEdit::textEdited, this, [this, edit](const QString &text) {
                edit->setText(failmode::laidIntoTemplate(text));
                m_typed = true;
            });
        } else {
            connect(edit, &QLineEdit::editingFinished, this, edited);
        }
    }
    if (m_caption && !qobject_cast<QLabel *>(field)) {
        highlight(false);
        field->installEventFilter(this);
    }
}

const settings::Setting *FieldBinding::setting(const QString &key) const
{
    return m_page->setting(key);
}

void FieldBinding::show(const QString &key)
{
    auto *edit = qobject_cast<QLineEdit *>(m_field);
    // Never overwrite what the user is typing; a fail time being edited shows its template.
    if (edit && edit->hasFocus())
        return;
    const settings::Reading reading = m_page->readSetting(key);
    const settings::Setting *row = setting(key);
    const bool flag = row && row->kind == settings::Kind::Flag;
    if (auto *box = qobject_cast<QComboBox *>(m_field)) {
        // Whether or not the unit answered, the box shows the number read: nothing read, or no
        // number, is the first entry; a number past the last entry leaves none selected.
        box->setCurrentIndex(reading.value
                                 ? (flag ? int(reading.value->toBool()) : reading.value->toInt())
                             : flag ? 0
                                    : reading.words.trimmed().toInt());
    } else if (auto *check = qobject_cast<QCheckBox *>(m_field)) {
        if (reading.sent) {
            const bool on = reading.value && reading.value->toBool();
            check->setChecked(on);
            check->setText(on ? m_captions.on : m_captions.off);
        }
    } else if (reading.sent && edit) {
        // Anything that is not a number shows as no time at all.
        edit->setText(m_failTime ? failmode::timeText(reading.words.toInt()) : reading.words);
    } else if (auto *label = qobject_cast<QLabel *>(m_field); label && reading.sent) {
        label->setText(reading.words);
    }
    emit shown();
}

bool FieldBinding::isSendable(const QString &key) const
{
    const settings::Setting *row = setting(key);
    const auto *edit = qobject_cast<QLineEdit *>(m_field);
    const QString text = edit ? edit->text() : QString();
    return row && (!edit || row->maxLength <= 0 || text.size() <= row->maxLength) &&
           command::isSendable(settings::setCommand(*row, text));
}

void FieldBinding::write(const QString &key)
{
    const settings::Setting *row = setting(key);
    if (auto *box = qobject_cast<QComboBox *>(m_field); box && row) {
        const int index = box->currentIndex();
        m_page->sendUserText(key, settings::argument(*row, row->kind == settings::Kind::Flag
                                                               ? settings::Value(index != 0)
                                                               : settings::Value(index)));
    } else if (auto *check = qobject_cast<QCheckBox *>(m_field); check && row) {
        const bool on = check->isChecked();
        m_page->sendUserText(key, settings::argument(*row, settings::Value(on)));
        check->setText(on ? m_captions.on : m_captions.off);
    } else if (auto *edit = qobject_cast<QLineEdit *>(m_field)) {
        // Text too long for the command buffer or the setting, or holding a line break, is
        // refused rather than cut or split: the read-back then shows what the unit still holds.
        if (isSendable(key))
            m_page->sendUserText(key, edit->text());
        finishEditing(edit);
    }
    show(key);
}

void FieldBinding::writeTenths(int tenths)
{
    m_page->sendUserText(m_key, QString::number(tenths));
    show();
}

void FieldBinding::highlight(bool focused)
{
    if (auto *edit = qobject_cast<QLineEdit *>(m_field)) {
        focused ? applyEditGroupFocusStyle(m_group, m_caption, edit)
                : applyEditGroupStyle(m_group, m_caption, edit);
    } else if (auto *box = qobject_cast<QComboBox *>(m_field)) {
        focused ? applyComboGroupFocusStyle(m_group, m_caption, box)
                : applyComboGroupStyle(m_group, m_caption, box);
    }
}

bool FieldBinding::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        // A fail time switches between its value and the entry template; the line edit still
        // handles the focus change itself (a focus-out also ends editing).
        if (m_failTime)
            event->type() == QEvent::FocusIn ? timeFocusIn() : timeCommit();
        highlight(event->type() == QEvent::FocusIn);
        return consumeFocusEvents;
    case QEvent::Wheel:
        return qobject_cast<QComboBox *>(m_field) != nullptr;
    default:
        return QObject::eventFilter(watched, event);
    }
}

void FieldBinding::timeFocusIn()
{
    auto *edit = static_cast<QLineEdit *>(m_field);
    m_savedText = edit->text();
    edit->setText(failmode::entryTemplate());
    m_typed = false;
    m_open = true;
}

void FieldBinding::timeRestore()
{
    auto *edit = static_cast<QLineEdit *>(m_field);
    edit->setText(m_savedText);
    m_typed = false;
    // Return on an untouched field keeps the field in editing; only leaving it ends the edit.
    if (!edit->hasFocus())
        m_open = false;
    show();
}

void FieldBinding::timeCommit()
{
    // The same edit commits again when the field loses the focus and once more through the
    // editingFinished that follows; only the first may send.
    if (!m_open)
        return;
    auto *edit = static_cast<QLineEdit *>(m_field);
    const QString text = edit->text();
    std::optional<int> tenths;
    if (m_typed && !failmode::holdsNoEntry(text))
        tenths = failmode::tenthsFromText(failmode::zeroFilled(text));
    // Nothing typed, or a time nobody can mean (a negative part): the value from before editing
    // comes back and nothing is sent.
    if (!tenths) {
        timeRestore();
        return;
    }
    edit->setText(failmode::zeroFilled(text));
    m_open = false;
    m_page->sendUserText(m_key, QString::number(*tenths));
    finishEditing(edit);
    show();
}
