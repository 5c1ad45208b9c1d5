#pragma once

#include "unit/ModelCatalogue.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

struct Options
{
    QString command;
    QStringList arguments;
    QString port;
    QString simulate;
    std::optional<int> seed;
    QString uid;
    QStringList only;
    QStringList except;
    bool json = false;
    bool dryRun = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    QStringList given; // the options as named, for the checks of which command takes which
};

// Parses the words; empty when they are usable, else the one-line reason.
QString parseOptions(const QStringList &words, Options &options);

QStringList familyKeys(Family family, bool writableOnly);
QStringList everyKey(bool writableOnly);

// The keys of the universe that the options select, in its order. The universe is a family's
// keys; where: "of family 714x" or "of any family", for the refusal.
QStringList select(const QStringList &universe, const QStringList &base, const Options &options,
                   const QString &where, QString *why);

} // namespace cli
