// A plan as a designer's tool, a spreadsheet or a broken download may hand it over. The first byte
// says which reader: even, a CSV plan; odd, an MVR archive. A refusal is one line; a plan taken is
// one the station can use as it stands, and exported and read again it gives the same slots.
#include "FuzzCheck.h"
#include "patch/Plan.h"
#include "patch/SceneExport.h"

namespace {

QString key(const patch::Slot &s)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(s.uuid.toString(), s.label, s.fixtureId)
        .arg(s.channels)
        .arg(s.sixteenBit)
        .arg(s.universe)
        .arg(s.address);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const bool mvr = fuzzcheck::byteAt(data, size, 0) & 1;
    const QByteArray input = fuzzcheck::tail(data, size, 1);
    patch::TypeMap map;
    map.insert(QStringLiteral("Generic Dimmer 2ch"), QStringLiteral("7126"));
    QString why;
    const auto plan = mvr ? patch::readMvrPlan(input, map, &why) : patch::readCsvPlan(input, &why);
    if (!plan) {
        FUZZ_CHECK(!why.trimmed().isEmpty() && !why.contains(QLatin1Char('\n')), why);
        return 0;
    }
    FUZZ_CHECK(patch::slotsRefusal(plan->slotList, {}).isEmpty(),
               QStringLiteral("overlap let through"));
    for (const patch::Slot &s : plan->slotList) {
        FUZZ_CHECK(!s.uuid.isNull() && s.channels > 0 && s.universe >= 1 && s.universe <= 63999 &&
                       s.address >= 1 && s.lastAddress() <= 512,
                   key(s));
    }
    const auto again =
        mvr ? patch::readMvrPlan(patch::sceneArchive(plan->slotList, &why).value_or(""), {}, &why)
            : patch::readCsvPlan(patch::patchCsv(plan->slotList), &why);
    FUZZ_CHECK(again.has_value(), why);
    FUZZ_CHECK(again->slotList.size() == plan->slotList.size(), why);
    for (int i = 0; i < plan->slotList.size(); ++i)
        FUZZ_CHECK(key(again->slotList.at(i)) == key(plan->slotList.at(i)),
                   key(plan->slotList.at(i)));
    return 0;
}
