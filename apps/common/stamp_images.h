#pragma once
// Stamp images as a program offers them to the user: the stamps shipped in the resource
// folders' "Stamps" folder, and small pictures of any stamp image for a chooser. The build
// makes the shipped stamps' pictures ahead ("Stamps/Thumbnails/knife.tif.png"), so that a
// program showing them need not load the image codec until a stamp is used.

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

/// The side of the pictures the build makes of the shipped stamps.
constexpr int kPrebuiltThumbnailSide = 48;
/// @brief Where the build's picture of `stamp` goes, under the resource folder "Stamps".
QString PrebuiltThumbnailName(const QString& stamp);
/// @brief The build's picture of the shipped `stamp` (a PNG file), or an empty string when
/// there is none.
QString PrebuiltThumbnail(const QString& stamp);

}  // namespace corvane_apps
