#include "tarnix/error.h"

namespace tarnix {

Error Error::s_cBadAlloc(QStringLiteral("Out of tracked memory"), Error::kCodeBadAlloc, "tarnix::Block",
                         "framework/src/block.cpp", 0);

Error::Error(const QString& message, int code, const char* function, const char* file, int line)
    : m_message(message),
      m_code(code),
      m_function(QString::fromUtf8(function)),
      m_file(QString::fromUtf8(file)),
      m_line(line) {}

Error* Error::Format(const QString& text) {
    m_message = text;
    return this;
}

QString Error::Text() const {
    return QStringLiteral("%1 (%2:%3): %4").arg(m_function, m_file).arg(m_line).arg(m_message);
}

void Error::Raise(int code, const char* function, const char* file, int line, const QString& text) {
    throw(new Error(QString(), code, function, file, line))->Format(text);
}

void Error::Dispose(Error* error) {
    if (error != &s_cBadAlloc) delete error;
}

}  // namespace tarnix
