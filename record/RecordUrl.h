#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Where the rig record lives, as the user writes it: a SQLite file, or a PostgreSQL database
// that several stations share. The URL may hold a password, so everything the program says about
// a record uses its redacted form.
namespace record {

enum class Engine
{
    Sqlite,
    Postgres,
};

struct Location
{
    Engine engine = Engine::Sqlite;
    QString path; // SQLite: the file
    // PostgreSQL. Empty fields are left to libpq (its defaults, PGHOST, PGUSER, ...); without a
    // password in the URL, PGPASSWORD and ~/.pgpass still apply.
    QString host; // a name, an address, or (from ?host=/path) a socket folder
    int port = -1;
    QString user;
    QString password;
    QString database;
    // The other libpq parameters (sslmode, connect_timeout, ...) as "key='value'" items.
    QStringList connectOptions;
    // The URL with its password replaced by "***": the only form that is ever shown.
    QString redacted;

    // The password removed from a text that may quote it (a driver's error message).
    QString scrub(QString text) const;
};

// Reads PATH, sqlite:PATH, postgresql://[user[:password]@][host][:port][/dbname][?k=v&...] or
// postgres://...; on refusal none, and one line in *why that never holds the password.
std::optional<Location> parseUrl(const QString &url, QString *why);

// The record the command line uses without --record: $VANTELO_RECORD, or empty.
QString defaultUrl();

} // namespace record
