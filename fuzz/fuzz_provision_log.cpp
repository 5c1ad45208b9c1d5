// A provisioning log as a spreadsheet, a hand edit or a stop mid-write may leave it: the whole
// input follows the header. A log is refused with one line naming the line, or read; a log read
// with a last row to close reads, once closed, as the same history with nothing left to close.
#include "FuzzCheck.h"
#include "station/ProvisionLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = provision::logColumns().join(QLatin1Char(',')).toUtf8() + '\n' +
                            fuzzcheck::tail(data, size, 0);
    provision::LogHistory history;
    QString why;
    if (!provision::parseLog(QStringLiteral("log.csv"), text, history, &why)) {
        FUZZ_CHECK(why.startsWith(QLatin1String("log.csv")) && !why.contains(QLatin1Char('\n')),
                   why);
        return 0;
    }
    FUZZ_CHECK(history.passedUids.size() <= history.passRows, QString::fromUtf8(text));
    FUZZ_CHECK(history.closing.isEmpty() || history.closing.endsWith('\n'),
               QString::fromUtf8(history.closing));
    if (history.closing.isEmpty())
        return 0;
    provision::LogHistory closed;
    FUZZ_CHECK(provision::parseLog(QStringLiteral("log.csv"), text + history.closing, closed, &why),
               why);
    FUZZ_CHECK(closed.closing.isEmpty() && closed.cutShort.isEmpty(), QString::fromUtf8(text));
    FUZZ_CHECK(closed.passRows == history.passRows && closed.passedUids == history.passedUids,
               QString::fromUtf8(text));
    return 0;
}
