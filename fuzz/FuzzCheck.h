#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

// A broken invariant is a finding just like a crash: abort so that libFuzzer keeps the input
// that led here and the run fails.
[[noreturn]] inline void fail(const char *condition, const char *file, int line,
                              const QString &context)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n  context: \"%s\"\n", file, line, condition,
                 context.toUtf8().toPercentEncoding(" :'\"").constData());
    std::abort();
}

// Fixed-layout inputs: a header of a few bytes that steer the call, the rest is text. Short
// inputs read as zeros so that every input, however short, is a valid call.
inline unsigned char byteAt(const uint8_t *data, size_t size, size_t index)
{
    return index < size ? data[index] : 0;
}

inline QByteArray tail(const uint8_t *data, size_t size, size_t from)
{
    return from >= size ? QByteArray()
                        : QByteArray(reinterpret_cast<const char *>(data + from), int(size - from));
}

} // namespace fuzzcheck

#define FUZZ_CHECK(condition, context)                                                             \
    ((condition) ? void() : fuzzcheck::fail(#condition, __FILE__, __LINE__, (context)))
