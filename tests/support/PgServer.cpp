#include "PgServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

const QString PgServer::superPassword = QStringLiteral("pg-super-Secret-7146");

namespace {

const char serviceUser[] = "postgres";

// Debian installs each major version beside the others; the newest serves.
QString newestBinDir()
{
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    const QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QString best;
    for (const QString &version : versions) {
        if (best.isEmpty() || version.toInt() > best.toInt())
            best = version;
    }
    return best.isEmpty() ? QString() : root.filePath(best + QStringLiteral("/bin"));
}

bool giveToServiceUser(const QString &path)
{
    const passwd *user = getpwnam(serviceUser);
    return user && chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
}

} // namespace

PgServer::PgServer() : m_dir(QDir::tempPath() + QStringLiteral("/vantelo-pg-XXXXXX")) {}

PgServer::~PgServer()
{
    stopImmediately();
}

QString PgServer::bin(const QString &program) const
{
    return m_binDir + QLatin1Char('/') + program;
}

bool PgServer::run(const QString &program, const QStringList &arguments, QString *why) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PGPASSWORD"), superPassword);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral("runuser"),
                  QStringList{QStringLiteral("-u"), QString::fromLatin1(serviceUser),
                              QStringLiteral("--"), bin(program)} +
                      arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *why =
            QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PgServer::start(QString *why)
{
    if (m_running)
        return true;
    if (!m_initialised) {
        m_binDir = newestBinDir();
        if (m_binDir.isEmpty() || !m_dir.isValid()) {
            *why = QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (install "
                                  "postgresql and postgresql-contrib)");
            return false;
        }
        QFile password(m_dir.filePath(QStringLiteral("password")));
        if (!password.open(QIODevice::WriteOnly) || password.write(superPassword.toUtf8()) < 0) {
            *why = password.errorString();
            return false;
        }
        password.close();
        if (!giveToServiceUser(m_dir.path()) || !giveToServiceUser(password.fileName())) {
            *why = QStringLiteral("cannot hand %1 to the postgres user").arg(m_dir.path());
            return false;
        }
        if (!run(QStringLiteral("initdb"),
                 {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                  QStringLiteral("-U"), QStringLiteral("postgres"),
                  QStringLiteral("--auth=scram-sha-256"),
                  QStringLiteral("--pwfile=") + password.fileName(), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--no-sync")},
                 why))
            return false;
        m_initialised = true;
    }
    const QString options =
        QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off "
                       "-c max_connections=60")
            .arg(m_dir.path());
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-l"),
              m_dir.filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options,
              QStringLiteral("-w"), QStringLiteral("start")},
             why))
        return false;
    m_running = true;
    return true;
}

void PgServer::stopImmediately()
{
    if (!m_running)
        return;
    QString ignored;
    run(QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
        &ignored);
    m_running = false;
}

QString PgServer::socketFolder() const
{
    return m_dir.path();
}

QString PgServer::url(const QString &database, const QString &user, const QString &password) const
{
    return QStringLiteral("postgresql://%1:%2@/%3?host=%4")
        .arg(user, password, database, socketFolder());
}

bool PgServer::sql(const QString &statements, QString *why, const QString &database) const
{
    return run(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), socketFolder(),
                QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-d"), database,
                QStringLiteral("-c"), statements},
               why);
}

QString PgServer::freshDatabase(QString *why)
{
    const QString name = QStringLiteral("record_%1").arg(++m_databases);
    if (!sql(QStringLiteral("CREATE DATABASE %1").arg(name), why))
        return QString();
    return url(name);
}
