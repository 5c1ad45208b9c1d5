// The simulator offers what the program's catalogue lists. Its prompts, reply layouts, firmware
// versions and UIDs stay its own (SimDevice.cpp), so that it remains an independent check of the
// program's reply rules; a catalogue model without such data is not offered.
#include "core/SimDevice.h"

#include "unit/ModelCatalogue.h"

namespace sim {

bool SimDevice::isKnownModel(const QString &model)
{
    return catalogue::modelNumbers().contains(model) && !defaultUid(model).isEmpty();
}

QStringList SimDevice::knownModels()
{
    QStringList known;
    for (const QString &number : catalogue::modelNumbers()) {
        if (!defaultUid(number).isEmpty())
            known.append(number);
    }
    return known;
}

} // namespace sim
