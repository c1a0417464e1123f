// libFuzzer target: the session reader. Any bytes either read as a session or are refused
// with one tarnix::Error; nothing else may escape, hang or touch memory it does not own.

#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "session.h"
#include "tarnix/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    try {
        corvane_apps::ParseSession(text, QStringLiteral("fuzz.json"));
    } catch (tarnix::Error* error) {
        // A refusal is one line.
        if (error->Message().contains(QLatin1Char('\n'))) __builtin_trap();
        tarnix::Error::Dispose(error);
    }
    return 0;
}
