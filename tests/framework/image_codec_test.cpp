// The framework loads the image library for the first image a program reads, and not before:
// this executable links no image library of its own.

#include <gtest/gtest.h>

#include <QFile>

#include "tarnix/image.h"
#include "tarnix/image_codec.h"

namespace {

bool ImageLibraryMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libOpenImageIO");
}

TEST(ImageCodecTest, TheImageLibraryIsMappedOnlyOnceAnImageIsRead) {
    EXPECT_FALSE(ImageLibraryMapped());
    const auto stamp = tarnix::Image::Load(QStringLiteral(SHIPPED_STAMP));
    EXPECT_EQ(stamp->Channels(), 1u);
    EXPECT_GT(stamp->Width(), 0u);
    EXPECT_TRUE(ImageLibraryMapped());
    EXPECT_EQ(&tarnix::ImageCodec::Get(), &tarnix::ImageCodec::Get());
}

}  // namespace
