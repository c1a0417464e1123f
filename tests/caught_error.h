#pragma once
// What a tarnix::Error thrown by a call under test said. The framework throws errors as
// pointers that the catcher owns; tests copy the fields they check and dispose of the error at
// once, so a failing expectation never leaks it. `raised` is false when the call threw nothing.

#include <QString>

#include "tarnix/error.h"

struct CaughtError {
    bool raised = false;
    QString message, function, file;
    int code = 0, line = 0;
};

template <typename Action>
CaughtError Caught(Action&& action) {
    try {
        action();
    } catch (tarnix::Error* error) {
        CaughtError caught{true, error->Message(), error->Function(), error->File(), error->Code(), error->Line()};
        tarnix::Error::Dispose(error);
        return caught;
    }
    return {};
}

// The message of the error `action` raised, or an empty string when it raised none.
template <typename Action>
QString FaultOf(Action&& action) {
    return Caught(action).message;
}
