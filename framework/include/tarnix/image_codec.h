#pragma once
// tarnix::ImageCodec: the host's reading and writing of image files (TIFF, PNG, OpenEXR and
// whatever else OpenImageIO handles). OpenImageIO and the libraries it pulls in (some 250 of
// them, over 100 MB resident once initialised) live in a module of their own beside the
// framework's library, loaded the first time a program asks for an image: a session that
// never reads or writes one never maps them.

#include <cstdint>
#include <string>
#include <vector>

namespace tarnix {

class ImageCodec {
public:
    /// The size of a picture: `depth` is 1 but for volume images.
    struct Layout {
        int width = 0, height = 0, depth = 1, channels = 0;
        uint64_t Samples() const { return uint64_t(width) * uint64_t(height) * uint64_t(depth) * uint64_t(channels); }
    };

    virtual ~ImageCodec() = default;

    /// @brief The codec, its module loaded on the first call. Throws a tarnix::Error naming the
    /// module when it cannot be loaded.
    static const ImageCodec& Get();

    /// @brief Reads `path`: its layout and the text its file keeps as a description, then its
    /// samples as floats (0..1 for integer formats), channels interleaved, rows from the top.
    /// False with `error` set (the library's words) when the file cannot be read; false with
    /// `error` empty, and only the layout and description read, when the layout holds no
    /// pixels or more than `mostSamples` samples.
    virtual bool Read(const std::string& path, uint64_t mostSamples, Layout& layout, std::string& description,
                      std::vector<float>& samples, std::string& error) const = 0;
    /// @brief The picture `samples` (of `layout`, depth 1) filtered to `width` by `height`
    /// pixels with the library's default filter for the change of size.
    virtual std::vector<float> Resize(const std::vector<float>& samples, const Layout& layout, int width,
                                      int height) const = 0;

    /// Pictures the programs make: 8-bit RGB, rows from the top.
    struct Rgb8 {
        unsigned char* pixels;
        int width, height;
    };
    /// @brief Fills columns [x0, x1) of rows [y0, y1) with `colour` (0..1 a channel).
    virtual void Fill(Rgb8 picture, int x0, int x1, int y0, int y1, const float colour[3]) const = 0;
    /// @brief Draws `text` with its baseline starting at (x, y), `size` pixels high, in the
    /// installed font `font`. False when the font cannot be found; the picture may then be
    /// partly drawn.
    virtual bool DrawText(Rgb8 picture, int x, int y, const std::string& text, int size, const std::string& font,
                          const float colour[3]) const = 0;
    /// @brief Writes `picture` to `path` in the format its extension names. False with `error`
    /// set when it could not be written whole.
    virtual bool Write(const std::string& path, const unsigned char* pixels, int width, int height,
                       std::string& error) const = 0;
};

}  // namespace tarnix
