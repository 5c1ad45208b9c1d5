#include "cli/Output.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace cli {

namespace {

int rank(int code)
{
    switch (code) {
    case Usage:
        return 4;
    case BadFile:
        return 3;
    case NoUnit:
        return 2;
    case Differs:
        return 1;
    default:
        return 0;
    }
}

} // namespace

void Context::raise(int code)
{
    if (rank(code) > rank(m_code))
        m_code = code;
}

void Context::printTable(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        for (int i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], row.at(i).size());
        }
    }
    for (const QStringList &row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row.at(i).leftJustified(widths.at(i) + 2) : row.at(i);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        print(line);
    }
}

int Context::finish()
{
    if (m_json && m_code != Usage) {
        json[QStringLiteral("exit")] = m_code;
        json[QStringLiteral("errors")] = QJsonArray::fromStringList(m_errors);
        if (!m_notes.isEmpty())
            json[QStringLiteral("notes")] = QJsonArray::fromStringList(m_notes);
        m_out << QJsonDocument(json).toJson(QJsonDocument::Indented);
    }
    m_out.flush();
    m_err.flush();
    return m_code;
}

int usageError(QTextStream &err, const QString &why)
{
    err << "vantelo-cli: " << why << "\nTry 'vantelo-cli --help' for more information.\n";
    err.flush();
    return Usage;
}

QString shown(const settings::Setting &setting, const std::optional<settings::Value> &value,
              const QString &words)
{
    if (!value)
        return QStringLiteral("(no value: '%1')").arg(words);
    return settings::toText(setting, *value);
}

QJsonValue jsonOf(const settings::Setting &setting, const std::optional<settings::Value> &value)
{
    return value ? settings::toJson(setting, *value) : QJsonValue(QJsonValue::Null);
}

QString noValueLine(const QString &key, const QString &words)
{
    return QStringLiteral("%1: the unit's answer held no value ('%2')").arg(key, words);
}

} // namespace cli
