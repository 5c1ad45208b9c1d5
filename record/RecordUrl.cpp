#include "record/RecordUrl.h"

#include <QRegularExpression>
#include <QUrl>

namespace record {

namespace {

const QString mask = QStringLiteral("***");

QString decoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

bool secretParameter(const QString &key)
{
    return key == QLatin1String("password") || key == QLatin1String("sslpassword");
}

// Qt's driver joins the options with spaces after turning ';' into ' ', so a value is quoted
// the way libpq reads it and may not hold ';'.
QString quotedOption(const QString &key, QString value)
{
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QStringLiteral("%1='%2'").arg(key, value);
}

std::optional<Location> parsePostgres(const QString &url, int schemeEnd, QString *why)
{
    Location location;
    location.engine = Engine::Postgres;
    const QString scheme = url.left(schemeEnd);
    QString rest = url.mid(schemeEnd + 3);
    QString query;
    if (const int at = rest.indexOf(QLatin1Char('?')); at >= 0) {
        query = rest.mid(at + 1);
        rest.truncate(at);
    }
    QString authority = rest;
    if (const int slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        authority = rest.left(slash);
        location.database = decoded(rest.mid(slash + 1));
    }
    QString shownUser;
    QString hostPort = authority;
    if (const int at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString userInfo = authority.left(at);
        hostPort = authority.mid(at + 1);
        const int colon = userInfo.indexOf(QLatin1Char(':'));
        shownUser = colon < 0 ? userInfo : userInfo.left(colon) + QLatin1Char(':') + mask;
        location.user = decoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            location.password = decoded(userInfo.mid(colon + 1));
    }
    QString portText;
    if (hostPort.startsWith(QLatin1Char('['))) {
        const int close = hostPort.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *why = QStringLiteral("the record URL's host lacks its closing ']'");
            return std::nullopt;
        }
        location.host = hostPort.mid(1, close - 1);
        if (close + 1 < hostPort.size()) {
            if (hostPort.at(close + 1) != QLatin1Char(':')) {
                *why = QStringLiteral("the record URL's host is followed by something else");
                return std::nullopt;
            }
            portText = hostPort.mid(close + 2);
        }
    } else if (const int colon = hostPort.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        location.host = decoded(hostPort.left(colon));
        portText = hostPort.mid(colon + 1);
    } else {
        location.host = decoded(hostPort);
    }
    const auto setPort = [&](const QString &text) {
        bool ok = false;
        const int port = text.toInt(&ok);
        if (!ok || port < 1 || port > 65535) {
            *why = QStringLiteral("the record URL's port must be a number from 1 to 65535");
            return false;
        }
        location.port = port;
        return true;
    };
    if (!portText.isEmpty() && !setPort(portText))
        return std::nullopt;

    static const QRegularExpression keyForm(QStringLiteral("^[a-z_]+$"));
    QStringList shownQuery;
    bool timeoutGiven = false;
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const int equals = item.indexOf(QLatin1Char('='));
        const QString key = decoded(item.left(equals));
        const QString value = equals < 0 ? QString() : decoded(item.mid(equals + 1));
        if (equals <= 0 || !keyForm.match(key).hasMatch()) {
            // Not quoted: a password pasted in the wrong place must not be shown.
            *why = QStringLiteral("a parameter of the record URL is not key=value");
            return std::nullopt;
        }
        shownQuery.append(secretParameter(key) ? key + QLatin1Char('=') + mask : item);
        if (key == QLatin1String("host")) {
            location.host = value;
        } else if (key == QLatin1String("port")) {
            if (!setPort(value))
                return std::nullopt;
        } else if (key == QLatin1String("user")) {
            location.user = value;
        } else if (key == QLatin1String("password")) {
            location.password = value;
        } else if (key == QLatin1String("dbname")) {
            location.database = value;
        } else if (value.contains(QLatin1Char(';'))) {
            *why = QStringLiteral("the record URL's parameter %1 may not hold ';'").arg(key);
            return std::nullopt;
        } else {
            timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
            location.connectOptions.append(quotedOption(key, value));
        }
    }
    // A station must not hang for minutes on a host that has gone: libpq waits forever without.
    if (!timeoutGiven)
        location.connectOptions.append(quotedOption(QStringLiteral("connect_timeout"), "10"));

    location.redacted =
        scheme + QStringLiteral("://") +
        (shownUser.isEmpty() ? QString() : shownUser + QLatin1Char('@')) + hostPort +
        rest.mid(authority.size()) +
        (shownQuery.isEmpty() ? QString() : QLatin1Char('?') + shownQuery.join('&'));
    return location;
}

} // namespace

QString Location::scrub(QString text) const
{
    if (!password.isEmpty()) {
        text.replace(password, mask);
        text.replace(QString::fromUtf8(QUrl::toPercentEncoding(password)), mask);
    }
    return text;
}

std::optional<Location> parseUrl(const QString &url, QString *why)
{
    if (url.isEmpty()) {
        *why = QStringLiteral("no record given (--record URL, or VANTELO_RECORD)");
        return std::nullopt;
    }
    const int schemeEnd = url.indexOf(QStringLiteral("://"));
    const QString scheme = schemeEnd > 0 ? url.left(schemeEnd) : QString();
    if (scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres"))
        return parsePostgres(url, schemeEnd, why);
    static const QRegularExpression otherScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*$"));
    if (!scheme.isEmpty() && scheme != QLatin1String("sqlite") &&
        otherScheme.match(scheme).hasMatch()) {
        *why = QStringLiteral("unknown kind of record '%1://' (a file, sqlite:PATH or "
                              "postgresql://...)")
                   .arg(scheme);
        return std::nullopt;
    }
    Location location;
    location.path = url;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        location.path = url.mid(7);
        if (location.path.startsWith(QLatin1String("//")))
            location.path = location.path.mid(2);
    }
    if (location.path.isEmpty()) {
        *why = QStringLiteral("the record URL names no file");
        return std::nullopt;
    }
    location.redacted = url;
    return location;
}

QString defaultUrl()
{
    return qEnvironmentVariable("VANTELO_RECORD");
}

} // namespace record
