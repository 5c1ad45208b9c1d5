#include "files/JsonScanner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>

namespace jsonscan {

bool Scanner::string(QString *decoded)
{
    const int start = m_at++;
    while (m_at < m_text.size() && m_text.at(m_at) != '"')
        m_at += m_text.at(m_at) == '\\' ? 2 : 1;
    if (m_at >= m_text.size())
        return stop();
    ++m_at;
    if (!decoded)
        return true;
    QJsonParseError error;
    const QJsonDocument one =
        QJsonDocument::fromJson('[' + m_text.mid(start, m_at - start) + ']', &error);
    if (error.error != QJsonParseError::NoError)
        return stop();
    *decoded = one.array().at(0).toString();
    return true;
}

void Scanner::object(QVector<Member> *members, bool top, int depth)
{
    ++m_at;
    QSet<QString> seen;
    skipBlanks();
    while (more() && peek() != '}') {
        QString key;
        if (peek() != '"' || !string(&key)) {
            stop();
            return;
        }
        if (seen.contains(key) && m_duplicate.isEmpty())
            m_duplicate = key;
        seen.insert(key);
        skipBlanks();
        if (peek() != ':') {
            stop();
            return;
        }
        ++m_at;
        skipBlanks();
        const bool settings = top && key == QLatin1String("settings") && peek() == '{';
        const QByteArray literal = value(settings ? &m_settings : nullptr, depth + 1);
        if (members)
            members->append({key, literal});
        if (!separator('}'))
            return;
    }
    ++m_at;
}

bool Scanner::separator(char close)
{
    skipBlanks();
    if (peek() == ',') {
        ++m_at;
        skipBlanks();
        return true;
    }
    return peek() == close || stop();
}

QByteArray Scanner::value(QVector<Member> *members, int depth)
{
    if (depth > depthLimit) {
        m_tooDeep = true;
        stop();
    }
    if (!more())
        return QByteArray();
    const char c = peek();
    if (c == '{') {
        object(members, false, depth);
        return QByteArray();
    }
    if (c == '[') {
        ++m_at;
        skipBlanks();
        while (more() && peek() != ']') {
            value(nullptr, depth + 1);
            if (!separator(']'))
                return QByteArray();
        }
        ++m_at;
        return QByteArray();
    }
    if (c == '"') {
        string(nullptr);
        return QByteArray();
    }
    const int start = m_at;
    while (m_at < m_text.size() && !isBlank(peek()) && peek() != ',' && peek() != ']' &&
           peek() != '}')
        ++m_at;
    if (m_at == start)
        stop();
    return m_text.mid(start, m_at - start);
}

void Scanner::run()
{
    skipBlanks();
    if (peek() == '{')
        object(&m_top, true, 0);
}

bool isNumber(const QByteArray &literal)
{
    return !literal.isEmpty() &&
           (literal.at(0) == '-' || (literal.at(0) >= '0' && literal.at(0) <= '9'));
}

bool isIntegral(const QByteArray &literal)
{
    return !literal.contains('.') && !literal.contains('e') && !literal.contains('E');
}

QByteArray literalOf(const QVector<Member> &members, const QString &key)
{
    for (const Member &m : members) {
        if (m.key == key)
            return m.literal;
    }
    return QByteArray();
}

} // namespace jsonscan
