#pragma once
// Stamp images as a program offers them to the user: the stamps shipped in the resource
// folders' "Stamps" folder, and small pictures of any stamp image for a chooser.

#include <QString>
#include <QStringList>

#include "preview.h"

namespace corvane_apps {

/// @brief The shipped stamps as the brush takes them ("Stamps/knife.tif"), by name, each once.
QStringList ShippedStamps();
/// @brief A picture of the stamp at `path` (resolved among the resource folders) fitted into
/// `side` x `side`: grey stamps in grey, vector stamps with their x, y, z as red, green, blue.
/// Throws tarnix::Error* naming the file when it cannot be read.
Picture StampThumbnail(const QString& path, int side);

}  // namespace corvane_apps
