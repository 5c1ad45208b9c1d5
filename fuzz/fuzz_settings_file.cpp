// A settings file's text as a person, a script or a broken disk may leave it: the whole input is
// the file. Valid files round-trip; everything else is refused with one line naming the key or
// the reason; nothing crashes.
#include "FuzzCheck.h"
#include "files/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzzcheck::tail(data, size, 0);
    QString why;
    const auto contents = settingsfile::parse(text, &why);
    if (!contents) {
        FUZZ_CHECK(!why.trimmed().isEmpty() && !why.contains(QLatin1Char('\n')) && why.size() < 400,
                   why);
        return 0;
    }
    // Everything a file lets through may be written to a unit of its family as it stands.
    for (const settingsfile::Entry &entry : contents->settings) {
        FUZZ_CHECK(entry.setting->family == contents->family, entry.setting->key);
        FUZZ_CHECK(settings::refusal(*entry.setting, entry.value).isEmpty(), entry.setting->key);
    }
    // What is written reads back as the same contents, and writing those gives the same text.
    const QByteArray written = settingsfile::serialize(*contents);
    QString again;
    const auto reread = settingsfile::parse(written, &again);
    FUZZ_CHECK(reread.has_value(), again + QLatin1Char('\n') + QString::fromUtf8(written));
    FUZZ_CHECK(reread->settings.size() == contents->settings.size(), QString::fromUtf8(written));
    for (int i = 0; i < reread->settings.size(); ++i) {
        const settingsfile::Entry &a = contents->settings.at(i), &b = reread->settings.at(i);
        FUZZ_CHECK(a.setting == b.setting && settings::sameValue(*a.setting, a.value, b.value),
                   a.setting->key);
    }
    FUZZ_CHECK(settingsfile::serialize(*reread) == written, QString::fromUtf8(written));
    return 0;
}
