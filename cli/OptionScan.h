#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace cli {

// The words of a command line taken apart the way every vantelo-cli command reads them:
// options may stand before or after the command, "--name value" and "--name=value" are the same,
// and everything after "--" is positional.
struct OptionScan
{
    struct Option
    {
        QString name; // "-h" reads as "--help"
        QString value;
    };
    QStringList positional;
    QVector<Option> options;
    // The first word that is no option of the given sets, if any.
    QString unknown;
    // Empty, or why the words cannot be read (a flag with a value, a value missing).
    QString error;

    bool has(const QString &name) const;
};

OptionScan scanOptions(const QStringList &words, const QStringList &valued,
                       const QStringList &flags);

// Where the command word name stands, past the options before it (any command's, so that
// "--port X gdtf" is not taken for the command X); -1 when the first word that is no option is
// another one.
int commandAt(const QStringList &words, const QString &name);

} // namespace cli
