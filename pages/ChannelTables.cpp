#include "pages/ChannelTables.h"

#include <QCoreApplication>

namespace channels {

namespace {

const char *const curveNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Square Law (Incan.)"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Linear"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Non-Dim"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "Logarithmic (LED)"),
};

const char *const responseTimeNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "5ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "10ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "50ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "100ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "200ms Ramp Time"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "400ms Ramp Time"),
};

const char *const modulationNames[] = {
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "60Hz - Incandescent"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "1200Hz - Candle"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "1200Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "2400Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "5000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "12000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "24000Hz - LED"),
    QT_TRANSLATE_NOOP("DimmerScrollWidget", "50000Hz - LED"),
};

template <int N> constexpr int countOf(const char *const (&)[N])
{
    return N;
}

QStringList translated(const char *const *names, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QCoreApplication::translate("DimmerScrollWidget", names[i]);
    return list;
}

} // namespace

const Setting settings[SettingCount] = {
    {"label", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label"), 10, "getRdmLabel %c\n",
     "setRdmLabel %c \"%s\"\n", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Device Label"), nullptr,
     0},
    {"curve", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Curve"), 80, "getCurve %c\n",
     "setCurve %c %d\n", nullptr, curveNames, countOf(curveNames)},
    {"resp", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Output Response Time"), 150,
     "getRespTime %c\n", "setRespTime %c %d\n", nullptr, responseTimeNames,
     countOf(responseTimeNames)},
    {"freq", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Modulation Frequency"), 220,
     "getModulation %c\n", "setModulation %c %d\n", nullptr, modulationNames,
     countOf(modulationNames)},
    {"offset", QT_TRANSLATE_NOOP("DimmerScrollWidget", "Control Offset"), 290, "getOffset %c\n",
     "setOffset %c %s\n", "0", nullptr, 0},
};

QStringList itemsOf(const Setting &setting)
{
    return translated(setting.items, setting.itemCount);
}

QStringList curveItems()
{
    return itemsOf(settings[Curve]);
}

QStringList responseTimeItems()
{
    return itemsOf(settings[RespTime]);
}

QStringList modulationItems()
{
    return itemsOf(settings[Modulation]);
}

} // namespace channels
