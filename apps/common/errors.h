#pragma once
// How the programs raise and hold the framework's errors. The framework throws a
// tarnix::Error* that its catcher owns: an OwnedError takes that ownership where the error is
// caught, so that it is disposed of however the handler is left (by a return, by raising
// another error, or by throwing it on with Release). Fail is the one way the programs raise:
// the error names the function, source file and line of the call to Fail, and its message
// stands on one line.

#include <utility>

#include <QString>

#include "tarnix/error.h"

namespace corvane_apps {

class OwnedError {
public:
    explicit OwnedError(tarnix::Error* error) : m_error(error) {}
    OwnedError(OwnedError&& other) noexcept : m_error(std::exchange(other.m_error, nullptr)) {}
    OwnedError& operator=(OwnedError other) noexcept {
        std::swap(m_error, other.m_error);
        return *this;
    }
    ~OwnedError() {
        if (m_error) tarnix::Error::Dispose(m_error);
    }

    const tarnix::Error& operator*() const { return *m_error; }
    const tarnix::Error* operator->() const { return m_error; }
    const QString& Message() const { return m_error->Message(); }
    /// @brief Gives the error up, to be thrown on to a catcher that owns it.
    tarnix::Error* Release() { return std::exchange(m_error, nullptr); }

private:
    tarnix::Error* m_error;
};

/// Where in the programs' source something happens: by default, the call of the function that
/// takes a SourcePlace as its last argument.
struct SourcePlace {
    const char* function;
    const char* file;
    int line;
    static SourcePlace Here(const char* function = __builtin_FUNCTION(), const char* file = __builtin_FILE(),
                            int line = __builtin_LINE()) {
        return {function, file, line};
    }
};

/// @brief `text` on one line: control characters (a name or string of a file may hold a line
/// break) are written as escapes, "\n" or "\u001b".
QString OneLine(QString text);

/// @brief Raises a tarnix::Error (code kCodeInvalidArgument) with `text` on one line, naming
/// `place` (its file relative to the source tree).
[[noreturn]] void Fail(const QString& text, SourcePlace place = SourcePlace::Here());

/// @brief Runs `action` and returns what it returns; an error it raises is raised again with
/// "`context`: " before its message, for callers that know which file or place it concerns.
template <typename Action>
auto WithContext(const QString& context, Action&& action, SourcePlace place = SourcePlace::Here())
    -> decltype(action()) {
    try {
        return action();
    } catch (tarnix::Error* raised) {
        const OwnedError error(raised);
        Fail(QStringLiteral("%1: %2").arg(context, error.Message()), place);
    }
}

}  // namespace corvane_apps
