#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// A settings file's JSON text looked at before Qt's parser reads it.
namespace jsonscan {

// The raw text of the members of the top-level object and of its "settings" object. Qt reads
// 905.0 and 1e3 as the same double as 905 and 1000, and keeps only one of two members of the
// same name; both matter in a file a person edits, so the text itself is looked at as well.
struct Member
{
    QString key;
    // The value's text when it is a plain literal (number, true, false, null); else empty.
    QByteArray literal;
};

// Runs before Qt's parser and so meets any text: it stops at the first thing it does not expect
// and leaves the verdict on such text to Qt. It finds members that appear twice before Qt's
// parser sees them, which loses memory on a repeated member that holds an object or an array.
class Scanner
{
public:
    explicit Scanner(const QByteArray &text) : m_text(text) {}

    void run();

    QVector<Member> top() const { return m_top; }
    QVector<Member> settings() const { return m_settings; }
    // The first member name that appears twice in one object, at any depth.
    QString duplicate() const { return m_duplicate; }
    bool stopped() const { return m_stopped; }
    bool tooDeep() const { return m_tooDeep; }

private:
    // No settings file nests deeper than three; beyond this the text is something else, and
    // the scanner's recursion stays far from the end of the stack.
    static constexpr int depthLimit = 32;

    char peek() const { return m_at < m_text.size() ? m_text.at(m_at) : '\0'; }
    bool more() const { return !m_stopped && m_at < m_text.size(); }
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void skipBlanks()
    {
        while (m_at < m_text.size() && isBlank(m_text.at(m_at)))
            ++m_at;
    }

    bool stop()
    {
        m_stopped = true;
        return false;
    }

    // At a '"'; decoded: where the string's value goes, or null.
    bool string(QString *decoded);

    // At a '{'. members: where this object's members go (null: nowhere).
    void object(QVector<Member> *members, bool top, int depth);

    // After a value: a ',' and the next, or the closing character.
    bool separator(char close);

    QByteArray value(QVector<Member> *members, int depth);

    const QByteArray &m_text;
    int m_at = 0;
    bool m_stopped = false;
    bool m_tooDeep = false;
    QString m_duplicate;
    QVector<Member> m_top;
    QVector<Member> m_settings;
};

// A number literal, and one without a fraction or an exponent.
bool isNumber(const QByteArray &literal);
bool isIntegral(const QByteArray &literal);

// The literal of the member of that name, or empty.
QByteArray literalOf(const QVector<Member> &members, const QString &key);

} // namespace jsonscan
