#include "errors.h"

#include <cstring>

namespace corvane_apps {

QString OneLine(QString text) {
    for (int i = text.size() - 1; i >= 0; --i) {
        const ushort c = text[i].unicode();
        if (c >= 0x20 && c != 0x7f) continue;
        text.replace(i, 1, c == '\n' ? QStringLiteral("\\n") : QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0')));
    }
    return text;
}

void Fail(const QString& text, SourcePlace place) {
    // Files are named as the source tree names them, wherever it was built.
    const char* file = place.file;
    const size_t root = std::strlen(CORVANE_SOURCE_ROOT);
    if (std::strncmp(file, CORVANE_SOURCE_ROOT, root) == 0) file += root;
    tarnix::Error::Raise(tarnix::Error::kCodeInvalidArgument, place.function, file, place.line, OneLine(text));
}

}  // namespace corvane_apps
