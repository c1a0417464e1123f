// The image codec module: tarnix::ImageCodec over OpenImageIO. The framework loads it on the
// first image a program reads or writes (image_codec.cpp).

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>

#include "tarnix/image_codec.h"

namespace {

class OiioImageCodec final : public tarnix::ImageCodec {
public:
    // Stamps and previews are small: the calling thread does the work, rather than a pool of
    // the library's own threads that would live, idle, until the program ends.
    OiioImageCodec() { OIIO::attribute("threads", 1); }

    bool Read(const std::string& path, uint64_t mostSamples, Layout& layout, std::string& description,
              std::vector<float>& samples, std::string& error) const override {
        // The header first: the pixels are decoded only when their number is within the limit.
        OIIO::ImageBuf buffer(path);
        if (!buffer.init_spec(buffer.name(), 0, 0)) return Failed(buffer, error);
        const OIIO::ROI window = buffer.roi();
        layout = {window.width(), window.height(), std::max(window.depth(), 1), window.nchannels()};
        description = buffer.nativespec().get_string_attribute("ImageDescription");
        if (layout.width <= 0 || layout.height <= 0 || layout.channels <= 0 || layout.Samples() > mostSamples)
            return false;
        samples.resize(size_t(layout.Samples()));
        if (buffer.read(0, 0, true, OIIO::TypeDesc::FLOAT) &&
            buffer.get_pixels(window, OIIO::TypeDesc::FLOAT, samples.data()))
            return true;
        return Failed(buffer, error);
    }

    std::vector<float> Resize(const std::vector<float>& samples, const Layout& layout, int width,
                              int height) const override {
        const OIIO::ImageSpec from(layout.width, layout.height, layout.channels, OIIO::TypeDesc::FLOAT);
        const OIIO::ImageBuf source(from, const_cast<float*>(samples.data()));
        const OIIO::ImageBuf small =
            OIIO::ImageBufAlgo::resize(source, "", 0.0f, OIIO::ROI(0, width, 0, height, 0, 1, 0, layout.channels));
        std::vector<float> out(size_t(width) * size_t(height) * size_t(layout.channels));
        small.get_pixels(small.roi(), OIIO::TypeDesc::FLOAT, out.data());
        return out;
    }

    void Fill(Rgb8 picture, int x0, int x1, int y0, int y1, const float colour[3]) const override {
        OIIO::ImageBuf target(Rgb8Layout(picture.width, picture.height), picture.pixels);
        OIIO::ImageBufAlgo::fill(target, colour, OIIO::ROI(x0, x1, y0, y1));
    }

    bool DrawText(Rgb8 picture, int x, int y, const std::string& text, int size, const std::string& font,
                  const float colour[3]) const override {
        OIIO::ImageBuf target(Rgb8Layout(picture.width, picture.height), picture.pixels);
        return OIIO::ImageBufAlgo::render_text(target, x, y, text, size, font, colour);
    }

    bool Write(const std::string& path, const unsigned char* pixels, int width, int height,
               std::string& error) const override {
        auto output = OIIO::ImageOutput::create(path);
        if (output && output->open(path, Rgb8Layout(width, height)) &&
            output->write_image(OIIO::TypeDesc::UINT8, pixels) && output->close())
            return true;
        error = output ? output->geterror() : OIIO::geterror();
        return false;
    }

private:
    // A failure always names itself, even when the library kept no words for it.
    static bool Failed(const OIIO::ImageBuf& buffer, std::string& error) {
        error = buffer.geterror();
        if (error.empty()) error = "the image library could not read it";
        return false;
    }

    static OIIO::ImageSpec Rgb8Layout(int width, int height) {
        return OIIO::ImageSpec(width, height, 3, OIIO::TypeDesc::UINT8);
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const tarnix::ImageCodec* TarnixImageCodec() {
    static const OiioImageCodec codec;
    return &codec;
}
