#include "host/errors.h"

#include "tarnix/error.h"

namespace corvane {

void RaiseError(const char* function, int line, const QString& text) {
    throw (new tarnix::Error(QString(), kErrorCode, function, kErrorSourcePath, line))->Format(text);
}

}  // namespace corvane
