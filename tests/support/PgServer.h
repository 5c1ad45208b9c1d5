#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throwaway PostgreSQL server: a cluster of its own in a temporary folder, reached only through
// a Unix socket in that folder (no TCP port), run as the postgres system user since initdb
// refuses root. Its superuser "postgres" logs in with superPassword. Stopped when destroyed.
class PgServer
{
public:
    PgServer();
    ~PgServer();

    // initdb on the first call, then pg_ctl start; false, with why, when it cannot.
    bool start(QString *why);
    // As a crash would: no checkpoint, clients cut off.
    void stopImmediately();
    bool isRunning() const { return m_running; }

    QString socketFolder() const;
    QString url(const QString &database = QStringLiteral("postgres"),
                const QString &user = QStringLiteral("postgres"),
                const QString &password = superPassword) const;
    // Runs SQL as the superuser in the database; false, with psql's message, on failure.
    bool sql(const QString &statements, QString *why,
             const QString &database = QStringLiteral("postgres")) const;
    // A new empty database, its record URL as the superuser.
    QString freshDatabase(QString *why);

    static const QString superPassword;

private:
    bool run(const QString &program, const QStringList &arguments, QString *why) const;
    QString bin(const QString &program) const;

    QTemporaryDir m_dir;
    QString m_binDir;
    bool m_initialised = false;
    bool m_running = false;
    int m_databases = 0;
};
