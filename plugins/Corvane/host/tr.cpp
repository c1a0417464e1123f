#include "host/tr.h"

#include <QCoreApplication>

namespace corvane {

QString Tr(const char* text) { return QCoreApplication::translate("Corvane", text, nullptr, -1); }

}  // namespace corvane
