#pragma once
// Tr: every text the module shows goes through Qt's translation with the context "Corvane".

#include <QString>

namespace corvane {

/// @brief The translation of `text` in the context "Corvane" (the text itself when no
/// translation is installed).
QString Tr(const char* text);

}  // namespace corvane
