#pragma once

#include "cli/ExitCodes.h"
#include "unit/DeviceSettings.h"

#include <QJsonObject>
#include <QTextStream>

namespace cli {

// Collects the exit code, the errors and the JSON document of one run.
class Context
{
public:
    Context(QTextStream &out, QTextStream &err, bool json) : m_out(out), m_err(err), m_json(json) {}

    void raise(int code);
    void fail(int code, const QString &line)
    {
        m_err << "vantelo-cli: " << line << '\n';
        m_errors.append(line);
        raise(code);
    }
    void note(const QString &line)
    {
        m_err << "vantelo-cli: note: " << line << '\n';
        m_notes.append(line);
    }
    // A line of the human-readable result; none with --json.
    void print(const QString &line)
    {
        if (!m_json)
            m_out << line << '\n';
    }
    // Rows of words as aligned columns.
    void printTable(const QVector<QStringList> &rows);
    int code() const { return m_code; }
    bool failed() const { return m_code != Done && m_code != Differs; }

    int finish();

    QJsonObject json;

private:
    QTextStream &m_out;
    QTextStream &m_err;
    const bool m_json;
    int m_code = Done;
    QStringList m_errors;
    QStringList m_notes;
};

// The usage error of a command line that cannot be run; returns its exit code.
int usageError(QTextStream &err, const QString &why);

QString shown(const settings::Setting &setting, const std::optional<settings::Value> &value,
              const QString &words = QString());
QJsonValue jsonOf(const settings::Setting &setting, const std::optional<settings::Value> &value);
QString noValueLine(const QString &key, const QString &words);

} // namespace cli
