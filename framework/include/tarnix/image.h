#pragma once
// tarnix::Image: a picture the host reads from a file (TIFF, PNG, OpenEXR and whatever else
// OpenImageIO reads; 8-bit, 16-bit and float samples), used as a brush stamp. Samples are
// kept as floats, 0..1 for integer formats. Rows run from the top of the picture. A stamp's
// neutral level, the grey that moves nothing, is 0 (black) unless the file's description
// names another with a word "neutral=VALUE", VALUE from 0 to 1 (a black cut on white says 1).

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

#include "tarnix/node.h"

namespace tarnix {

class Image : public Node {
public:
    /// @brief What getTile delivers: `channels` (1 or 3) samples of 32-bit float per pixel.
    struct PixelDescriptor {
        uint32_t channels = 1;
        uint32_t bitsPerSample = 32;
    };

    /// @brief Reads `path` (a relative path is looked up among the host's resource folders,
    /// Kernel::ResolveResource). Throws a tarnix::Error naming the file when it cannot be read.
    static std::unique_ptr<Image> Load(const QString& path);

    const ClassDesc* GetClass() const override;
    static const ClassDesc* StaticClass();

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    /// @brief The third size: the depth of a volume image; 1 for every picture.
    uint32_t Depth() const { return m_depth; }
    uint32_t Channels() const { return m_channels; }
    const QString& Path() const { return m_path; }
    /// @brief The grey level that stands for no move (0..1), as the file's description names it.
    float NeutralLevel() const { return m_neutralLevel; }

    /// @brief Copies the pixels of the rectangle (x, y, width, height) into `out` as the
    /// descriptor asks: one channel gives the picture's grey value (its luminance when it has
    /// colour), three give its red, green and blue (grey repeated). False, with nothing
    /// written, for a rectangle outside the picture or a descriptor it cannot serve.
    bool getTile(uint32_t x, uint32_t y, uint32_t width, uint32_t height, float* out,
                 const PixelDescriptor& descriptor) const;
    /// @brief How many times getTile delivered pixels (for a host's statistics).
    uint64_t TileReads() const { return m_tileReads; }

private:
    QString m_path;
    uint32_t m_width = 0, m_height = 0, m_depth = 1, m_channels = 0;
    float m_neutralLevel = 0.0f;
    std::vector<float> m_samples;
    mutable uint64_t m_tileReads = 0;
};

}  // namespace tarnix
