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

    bool ReadLayout(const std::string& path, Layout& layout, std::string& description,
                    std::string& error) const override {
        OIIO::ImageBuf buffer(path);
        if (!Open(buffer, layout, error)) return false;
        description = buffer.nativespec().get_string_attribute("ImageDescription");
        return true;
    }

    bool ReadSamples(const std::string& path, uint64_t mostSamples, Layout& layout, std::vector<float>& samples,
                     std::string& error) const override {
        OIIO::ImageBuf buffer(path);
        if (!Open(buffer, layout, error)) return false;
        if (layout.Samples() > mostSamples) {
            error = "it holds more samples than " + std::to_string(mostSamples);
            return false;
        }
        samples.resize(size_t(layout.Samples()));
        if (buffer.read(0, 0, true, OIIO::TypeDesc::FLOAT) &&
            buffer.get_pixels(buffer.roi(), OIIO::TypeDesc::FLOAT, samples.data()))
            return true;
        error = buffer.geterror();
        return false;
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
        OIIO::ImageBuf target(Spec(picture), picture.pixels);
        OIIO::ImageBufAlgo::fill(target, colour, OIIO::ROI(x0, x1, y0, y1));
    }

    bool DrawText(Rgb8 picture, int x, int y, const std::string& text, int size, const std::string& font,
                  const float colour[3]) const override {
        OIIO::ImageBuf target(Spec(picture), picture.pixels);
        return OIIO::ImageBufAlgo::render_text(target, x, y, text, size, font, colour);
    }

    bool Write(const std::string& path, const unsigned char* pixels, int width, int height,
               std::string& error) const override {
        auto output = OIIO::ImageOutput::create(path);
        const OIIO::ImageSpec layout(width, height, 3, OIIO::TypeDesc::UINT8);
        if (output && output->open(path, layout) && output->write_image(OIIO::TypeDesc::UINT8, pixels) &&
            output->close())
            return true;
        error = output ? output->geterror() : OIIO::geterror();
        return false;
    }

private:
    // The header only: the pixels are decoded when asked for.
    static bool Open(OIIO::ImageBuf& buffer, Layout& layout, std::string& error) {
        if (!buffer.init_spec(buffer.name(), 0, 0)) {
            error = buffer.geterror();
            return false;
        }
        const OIIO::ROI window = buffer.roi();
        layout = {window.width(), window.height(), std::max(window.depth(), 1), window.nchannels()};
        return true;
    }

    static OIIO::ImageSpec Spec(const Rgb8& picture) {
        return OIIO::ImageSpec(picture.width, picture.height, 3, OIIO::TypeDesc::UINT8);
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const tarnix::ImageCodec* TarnixImageCodec() {
    static const OiioImageCodec codec;
    return &codec;
}
