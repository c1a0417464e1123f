#pragma once
// tarnix::Error is the framework's one error type. Errors are created on the heap, given
// their text with Format and thrown as pointers; the catcher owns the pointer and hands it
// to Error::Dispose, which deletes it unless it is one of the framework's static errors
// (s_cBadAlloc). Every field is kept so that a host can show where an error came from.

#include <QString>

namespace tarnix {

class Error {
public:
    /// @brief A new error; its text is set afterwards with Format.
    Error(const QString& message, int code, const char* function, const char* file, int line);

    /// @brief Sets the error's text and returns the error, so that creation reads as one
    /// expression: `throw (new Error(...))->Format("...")`.
    Error* Format(const QString& text);

    const QString& Message() const { return m_message; }
    int Code() const { return m_code; }
    const QString& Function() const { return m_function; }
    const QString& File() const { return m_file; }
    int Line() const { return m_line; }

    /// @brief One line for people: "function (file:line): message".
    QString Text() const;

    /// @brief The one way framework code raises: a new error with `text`, thrown as a pointer.
    [[noreturn]] static void Raise(int code, const char* function, const char* file, int line, const QString& text);

    /// @brief Releases a caught error pointer; static errors are left alone.
    static void Dispose(Error* error);

    /// @brief Thrown (as a pointer) when tracked memory is exhausted.
    static Error s_cBadAlloc;

    /// Error codes the framework itself uses.
    static constexpr int kCodeBadAlloc = 1;
    static constexpr int kCodeStream = 2;
    static constexpr int kCodeInvalidArgument = 3;

private:
    QString m_message;
    int m_code;
    QString m_function;
    QString m_file;
    int m_line;
};

}  // namespace tarnix
