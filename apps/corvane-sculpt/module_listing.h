#pragma once
// The "list" command: loads the plug-in modules of a folder and prints what they registered.

#include <QString>
#include <QTextStream>

namespace corvane_sculpt {

/// @brief Loads every module in `pluginDirectory`, prints its classes, plug-in records,
/// preferences and brush presets to `out`, and unloads them again. Throws tarnix::Error*.
void ListModules(const QString& pluginDirectory, QTextStream& out);

}  // namespace corvane_sculpt
