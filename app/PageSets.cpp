#include "app/PageSets.h"

#include "pages/AdvancedWidget.h"
#include "pages/BaseWidget.h"
#include "pages/DimmerScrollWidget.h"
#include "pages/DimmerWidget.h"
#include "pages/DmxWidget.h"
#include "pages/FarcastWidget.h"
#include "pages/InfoWidget.h"

#include "unit/ModelCatalogue.h"

namespace {

template <typename Page> BaseWidget *makePage(const ModelInfo &, QWidget *parent)
{
    return new Page(parent);
}

BaseWidget *makeDmxPage(const ModelInfo &model, QWidget *parent)
{
    return new DmxWidget(model, parent);
}

// The channel editor does the talking during a dimmer refresh.
BaseWidget *dimmerProgress(BaseWidget *page)
{
    auto *dimmer = qobject_cast<DimmerWidget *>(page);
    return dimmer ? dimmer->scrollWidget() : page;
}

PageFamily dimmerFamily(Family deviceFamily)
{
    const int channels = catalogue::familyChannels(deviceFamily);
    PageFamily family;
    family.family = deviceFamily;
    family.positions = {
        {makeDmxPage, QStringLiteral("DMX"), {}, {}},
        {makePage<DimmerWidget>, QStringLiteral("Dimmer"),
         [channels](BaseWidget *page) {
             if (auto *dimmer = qobject_cast<DimmerWidget *>(page))
                 dimmer->setChannelCount(channels);
         },
         dimmerProgress},
        {makePage<FarcastWidget>, QStringLiteral("Farcast"), {}, {}},
        {makePage<InfoWidget>, QStringLiteral("Info"), {}, {}},
    };
    return family;
}

PageFamily receiverFamily()
{
    PageFamily family;
    family.family = Family::Receiver;
    family.positions = {
        {makePage<DmxWidget2>, QStringLiteral("DMX"), {}, {}},
        {makePage<FarcastWidget>,
         QStringLiteral("Farcast"),
         [](BaseWidget *page) {
             if (auto *farcast = qobject_cast<FarcastWidget *>(page)) {
                 farcast->setFamily(Family::Receiver);
                 farcast->setInputModeVisible(false);
             }
         },
         {}},
        {makePage<InfoWidget2>, QStringLiteral("Info"), {}, {}},
        {makePage<AdvancedWidget>, QStringLiteral("Advanced"), {}, {}},
    };
    // The DMX page follows the output switches of the output options page.
    family.afterBuild = [](const QList<BaseWidget *> &pages) {
        auto *dmx = qobject_cast<DmxWidget2 *>(pages.value(0));
        auto *advanced = qobject_cast<AdvancedWidget *>(pages.value(3));
        if (dmx && advanced) {
            QObject::connect(advanced, &AdvancedWidget::PwmZeroTenOutputChanged, dmx,
                             &DmxWidget2::onPwmZeroTenChanged);
        }
    };
    return family;
}

} // namespace

const QVector<PageFamily> &pageFamilies()
{
    static const QVector<PageFamily> families = {
        dimmerFamily(Family::Dimmer5),
        dimmerFamily(Family::Dimmer2),
        receiverFamily(),
    };
    return families;
}

const PageFamily *findPageFamily(const QVector<PageFamily> &families, Family family)
{
    for (const PageFamily &set : families) {
        if (set.family == family)
            return &set;
    }
    return nullptr;
}
