#pragma once

#include "link/SettingsIO.h"

#include <QObject>
#include <QString>

#include <functional>

class QGroupBox;
class QLabel;
class QWidget;

// One field of a page tied to one setting: a line edit (text as typed, or a fail time), a combo box
// (a choice, or a flag as its two entries), a check box (a flag) or a label (read only). It shows
// the unit's reading, sends what the user did through the table's rules and reads it back. A
// field in a group box of its own also gets the group's focus highlighting, and a combo box the
// wheel guard: scrolling a page must never change a setting on the way. Owned by its field.
class FieldBinding : public QObject
{
    Q_OBJECT

public:
    // What a binding needs of its page: the rows of the page's family, and its channel.
    class Page
    {
    public:
        virtual ~Page() = default;
        virtual const settings::Setting *setting(const QString &key) const = 0;
        // Not sent (the field stays as it is) without a channel.
        virtual settings::Reading readSetting(const QString &key) const = 0;
        // The argument as given, if the user-text rule lets the line through.
        virtual bool sendUserText(const QString &key, const QString &argument) const = 0;
        // Where the page translates its texts, the table's entries among them.
        virtual const char *textContext() const = 0;
    };

    // A check box's caption for each state.
    struct Captions
    {
        QString on, off;
    };

    FieldBinding(const Page *page, QWidget *field, const QString &key, const Captions &captions);

    QWidget *field() const { return m_field; }
    const QString &key() const { return m_key; }
    // Reads the setting into the field; another key reads that setting (another channel's).
    void show() { show(m_key); }
    void show(const QString &key);
    // Sends the field's value to the setting, then reads it back into the field.
    void write(const QString &key);
    // Whether the field's text could be sent at all (the user-text rule, the setting's length).
    bool isSendable(const QString &key) const;
    // A fail time written as it stands, e.g. infinite; then read back.
    void writeTenths(int tenths);

    // What an edit of the field does: writes its own setting unless someone decides otherwise.
    std::function<void()> onEdit;
    // The bump selector has always kept its focus events from its combo box.
    bool consumeFocusEvents = false;

signals:
    // After every read, whether the unit answered or not.
    void shown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const settings::Setting *setting(const QString &key) const;
    void highlight(bool focused);
    void timeFocusIn();
    void timeCommit();
    void timeRestore();

    const Page *m_page;
    QWidget *m_field;
    QString m_key;
    Captions m_captions;
    QGroupBox *m_group = nullptr;
    QLabel *m_caption = nullptr;
    bool m_failTime = false;
    // A fail time's edit, from the focus coming in to its commit: the text shown before, whether
    // the user has typed, and whether the commit is still to come. A field commits on Return, on
    // losing the focus and on the editingFinished that follows, and may send at most once.
    QString m_savedText;
    bool m_typed = false;
    bool m_open = false;
};
