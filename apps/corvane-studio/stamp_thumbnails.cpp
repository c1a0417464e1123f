// stamp-thumbnails: a build step, not a program for users. It makes the pictures the studio's
// stamp chooser shows of the shipped stamps, so that the studio reads them as plain PNG files
// and loads the image codec only once a stamp is used.
//
//   stamp-thumbnails FOLDER STAMP...   writes FOLDER/NAME.png for each stamp file FOLDER/../NAME

#include <cstdio>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include "errors.h"
#include "stamp_images.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: stamp-thumbnails FOLDER STAMP...\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "stamp-thumbnails: cannot make the folder %s\n", argv[1]);
        return 2;
    }
    try {
        for (int i = 2; i < argc; ++i) {
            const QString stamp = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
            const QString name = QFileInfo(corvane_apps::PrebuiltThumbnailName(stamp)).fileName();
            corvane_apps::WritePng(corvane_apps::StampThumbnail(stamp, corvane_apps::kPrebuiltThumbnailSide),
                                   folder.absoluteFilePath(name));
        }
    } catch (tarnix::Error* raised) {
        const corvane_apps::OwnedError error(raised);
        std::fprintf(stderr, "stamp-thumbnails: %s\n", error.Message().toLocal8Bit().constData());
        return 2;
    }
    return 0;
}
