#pragma once
// The module's one way to raise an error: a tarnix::Error with code 4, the raising
// function's name, the module's source path and a line, given its text and thrown as a
// pointer, as the host expects of every plug-in.

#include <QString>

namespace corvane {

/// Error code of every error the module raises.
constexpr int kErrorCode = 4;
/// Source path reported with the module's errors.
constexpr const char* kErrorSourcePath = "plugins/Corvane/Corvane";

/// @brief Throws a new tarnix::Error* for `function` at `line` with `text`.
[[noreturn]] void RaiseError(const char* function, int line, const QString& text);

}  // namespace corvane
