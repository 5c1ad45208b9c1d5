#include "core/SimulateOptions.h"

#include "core/SimDevice.h"

#include <QRegularExpression>

namespace sim {

namespace {

std::optional<QString> refused(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

} // namespace

std::optional<QString> simulatedModel(const QString &text, QString *why)
{
    if (!SimDevice::isKnownModel(text)) {
        return refused(why, QStringLiteral("unknown model '%1' (one of %2)")
                                .arg(text, SimDevice::knownModels().join(QLatin1String(", "))));
    }
    return text;
}

std::optional<int> seedFromText(const QString &text, QString *why, int max)
{
    // Digits only: a sign, blanks or an exponent are typing errors, not seeds.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (digits.match(text).hasMatch() && text.toInt() <= max)
        return text.toInt();
    refused(why, QStringLiteral("--seed needs a whole number from 0"));
    return std::nullopt;
}

std::optional<QString> uidFromText(const QString &text, QString *why)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    if (!hex.match(text).hasMatch())
        return refused(why, QStringLiteral("--uid needs twelve hexadecimal digits"));
    return text.toUpper();
}

QString parseSimulateOptions(const std::optional<QString> &model,
                             const std::optional<QString> &seed, const std::optional<QString> &uid,
                             SimulateOptions &options)
{
    if ((seed || uid) && !model)
        return QStringLiteral("--seed and --uid need --simulate");
    QString why;
    options = SimulateOptions();
    if (model) {
        const std::optional<QString> known = simulatedModel(*model, &why);
        if (!known)
            return why;
        options.model = *known;
    }
    if (seed) {
        options.seed = seedFromText(*seed, &why);
        if (!options.seed)
            return why;
    }
    if (uid) {
        const std::optional<QString> read = uidFromText(*uid, &why);
        if (!read)
            return why;
        options.uid = *read;
    }
    return QString();
}

} // namespace sim
