#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <tuple>
#include <vector>

#include "caught_error.h"
#include "tarnix/image.h"
#include "tarnix/kernel.h"

namespace {

// Writes a 4 x 2 picture of `channels` channels whose samples are s(x, y, c) in `format`,
// with `description` as its description when there is one.
QString WritePicture(const QTemporaryDir& folder, const char* name, int channels, OIIO::TypeDesc format,
                     const char* description = nullptr) {
    std::vector<float> samples;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < channels; ++c) samples.push_back(float(x + 4 * y) / 8.0f + 0.05f * float(c));
    const std::string path = folder.filePath(QString::fromUtf8(name)).toStdString();
    auto output = OIIO::ImageOutput::create(path);
    OIIO::ImageSpec layout(4, 2, channels, format);
    if (description) layout.attribute("ImageDescription", description);
    EXPECT_TRUE(output && output->open(path, layout));
    EXPECT_TRUE(output->write_image(OIIO::TypeDesc::FLOAT, samples.data()));
    output->close();
    return QString::fromStdString(path);
}

TEST(ImageTest, EveryFormatAndDepthReadsBackItsValues) {
    QTemporaryDir folder;
    struct Case {
        const char* name;
        OIIO::TypeDesc format;
        float tolerance;
    };
    const Case cases[] = {{"grey8.tif", OIIO::TypeDesc::UINT8, 1.0f / 255},
                          {"grey16.tif", OIIO::TypeDesc::UINT16, 1.0f / 65535},
                          {"grey16.png", OIIO::TypeDesc::UINT16, 1.0f / 65535},
                          {"greyf.exr", OIIO::TypeDesc::FLOAT, 0.0f},
                          {"greyh.exr", OIIO::TypeDesc::HALF, 1e-3f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = tarnix::Image::Load(WritePicture(folder, c.name, 1, c.format));
        EXPECT_EQ(std::make_tuple(image->Width(), image->Height(), image->Depth()), std::make_tuple(4u, 2u, 1u));
        float grey[8];
        ASSERT_TRUE(image->getTile(0, 0, 4, 2, grey, {1, 32}));
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(grey[i], float(i) / 8.0f, c.tolerance + 1e-6f);
        float colour[3];
        ASSERT_TRUE(image->getTile(3, 1, 1, 1, colour, {3, 32}));
        EXPECT_EQ(colour[0], colour[2]) << "grey repeats in all three channels";
        EXPECT_NEAR(colour[1], 7.0f / 8.0f, c.tolerance + 1e-6f);
    }
}

TEST(ImageTest, ColourPicturesGiveTheirChannelsOrTheirLuminance) {
    QTemporaryDir folder;
    auto image = tarnix::Image::Load(WritePicture(folder, "rgb.exr", 3, OIIO::TypeDesc::FLOAT));
    float rgb[3];
    ASSERT_TRUE(image->getTile(1, 0, 1, 1, rgb, {3, 32}));
    EXPECT_EQ(std::vector<float>(rgb, rgb + 3), (std::vector<float>{0.125f, 0.125f + 0.05f, 0.125f + 0.1f}))
        << "floats stored as they were written";
    float grey;
    ASSERT_TRUE(image->getTile(1, 0, 1, 1, &grey, {1, 32}));
    EXPECT_NEAR(grey, 0.2126f * 0.125f + 0.7152f * 0.175f + 0.0722f * 0.225f, 1e-6f);
    EXPECT_FALSE(image->getTile(3, 0, 2, 1, rgb, {3, 32})) << "past the right edge";
    EXPECT_FALSE(image->getTile(0, 0, 1, 1, rgb, {2, 32})) << "two channels are not offered";
    EXPECT_EQ(image->TileReads(), 2u);
}

TEST(ImageTest, TheDescriptionNamesTheNeutralLevel) {
    QTemporaryDir folder;
    struct Case {
        const char* name;
        const char* description;
        float level;
    };
    const Case cases[] = {{"plain.tif", nullptr, 0.0f},
                          {"cut.tif", "neutral=1", 1.0f},
                          {"mid.png", "a relief, neutral=0.5 grey", 0.5f},
                          {"other.exr", "neutrals=0.5 and nothing else", 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            tarnix::Image::Load(WritePicture(folder, c.name, 1, OIIO::TypeDesc::UINT8, c.description))->NeutralLevel(),
            c.level);
    }
    for (const char* wrong : {"neutral=1.5", "neutral=-0.1", "neutral=grey", "neutral=nan", "neutral="}) {
        const QString path = WritePicture(folder, "wrong.tif", 1, OIIO::TypeDesc::UINT8, wrong);
        const QString fault = FaultOf([&] { tarnix::Image::Load(path); });
        EXPECT_TRUE(fault.contains(QStringLiteral("is not a number from 0 to 1")))
            << wrong << ": " << fault.toStdString();
    }
}

TEST(ImageTest, UnreadableFilesAreClearErrors) {
    QTemporaryDir folder;
    // A device would be read for ever, were it read.
    for (const QString& path :
         {QStringLiteral("/nonexistent/stamp.tif"), folder.filePath("empty.png"), QStringLiteral("/dev/zero")}) {
        if (path.endsWith(QLatin1String(".png"))) QFile(path).open(QIODevice::WriteOnly);
        const QString fault = FaultOf([&] { tarnix::Image::Load(path); });
        EXPECT_TRUE(fault.startsWith(QStringLiteral("cannot read image ") + path)) << fault.toStdString();
    }
}

TEST(ImageTest, RelativePathsResolveAgainstTheResourceFolders) {
    QTemporaryDir folder;
    QDir(folder.path()).mkdir(QStringLiteral("Stamps"));
    WritePicture(folder, "Stamps/dots.png", 1, OIIO::TypeDesc::UINT8);
    const QStringList saved = tarnix::Kernel::ResourceDirectories();
    tarnix::Kernel::SetResourceDirectories({QStringLiteral("/nonexistent"), folder.path()});
    EXPECT_EQ(tarnix::Kernel::ResolveResource(QStringLiteral("Stamps/dots.png")),
              folder.filePath(QStringLiteral("Stamps/dots.png")));
    EXPECT_EQ(tarnix::Image::Load(QStringLiteral("Stamps/dots.png"))->Width(), 4u);
    tarnix::Kernel::SetResourceDirectories(saved);
}

TEST(ImageTest, TheShippedStampsAreThere) {
    for (const char* name : {"Stamps/bw_brickTile.tif", "Stamps/bw_scale.tif", "Stamps/knife.tif", "Stamps/rubble.tif",
                             "Stamps/rivet_vdm.exr"}) {
        auto image = tarnix::Image::Load(QString::fromUtf8(name));
        EXPECT_GT(image->Width(), 0u) << name;
    }
}

}  // namespace
