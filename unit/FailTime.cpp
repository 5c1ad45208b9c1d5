#include "unit/FailTime.h"

#include <QStringList>

#include <algorithm>

namespace failmode {

QString entryTemplate()
{
    return QStringLiteral(" :  :  : ");
}

QString timeText(int tenths)
{
    if (tenths == infiniteTenths)
        return QStringLiteral("Infinte");
    return QString::asprintf("%01d:%02d:%02d:%01d", tenths / 36000, (tenths / 600) % 60,
                             (tenths / 10) % 60, tenths % 10);
}

bool holdsNoEntry(const QString &text)
{
    return text.contains(QLatin1String("fin")) || text.contains(entryTemplate());
}

QString zeroFilled(const QString &text)
{
    QString filled = text;
    filled.replace(QLatin1Char(' '), QLatin1Char('0'));
    return filled;
}

std::optional<int> tenthsFromText(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    // QString::toInt yields 0 for anything that is not a number, which is the reading we want.
    qint64 part[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i) {
        part[i] = parts.at(i).toInt();
        if (part[i] < 0)
            return std::nullopt;
    }
    // Wide arithmetic so that no entry can overflow before it is clamped.
    const qint64 value = ((part[0] * 60 + part[1]) * 60 + part[2]) * 10 + part[3];
    return int(std::min<qint64>(value, infiniteTenths));
}

QString laidIntoTemplate(const QString &edited)
{
    QString entered = edited;
    entered.remove(QLatin1Char(':'));
    entered.remove(QLatin1Char(' '));

    QString laid = entryTemplate();
    int j = laid.size() - 1;
    for (int i = entered.size() - 1; i >= 0 && j >= 0; --i) {
        if (laid.at(j) == QLatin1Char(':'))
            --j;
        if (j >= 0)
            laid[j] = entered.at(i);
        --j;
    }
    return laid;
}

} // namespace failmode
