#include "host/errors.h"

#include "tarnix/error.h"

namespace corvane {

void RaiseError(const char* function, int line, const QString& text) {
    tarnix::Error::Raise(kErrorCode, function, kErrorSourcePath, line, text);
}

}  // namespace corvane
