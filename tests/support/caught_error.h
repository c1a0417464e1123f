#pragma once
// What a tarnix::Error thrown by a call under test said. The framework throws errors as
// pointers that the catcher owns; the programs' OwnedError holds the error while its fields are
// copied, so a failing expectation never leaks it. `raised` is false when the call threw nothing.

#include <QString>

#include "errors.h"

struct CaughtError {
    bool raised = false;
    QString message, function, file;
    int code = 0, line = 0;
};

template <typename Action>
CaughtError Caught(Action&& action) {
    try {
        action();
    } catch (tarnix::Error* raised) {
        const corvane_apps::OwnedError error(raised);
        return {true, error->Message(), error->Function(), error->File(), error->Code(), error->Line()};
    }
    return {};
}

// The message of the error `action` raised, or an empty string when it raised none.
template <typename Action>
QString FaultOf(Action&& action) {
    return Caught(action).message;
}
