// Our own LZW writer must be read back exactly by libtiff on content that fills the code
// table at every width: noise (short strings, many table resets), flat areas (long
// strings), gradients, and sizes with a last strip shorter than the others.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <string>
#include <vector>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::TempFolder;

// The file read with libtiff's general RGBA reader, not our decoder's strip path.
std::vector<std::uint32_t> ReadWithLibtiff(const std::string& path, int& width, int& height) {
    std::vector<std::uint32_t> pixels;
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) {
        return pixels;
    }
    std::uint32_t w = 0, h = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h);
    pixels.resize(static_cast<std::size_t>(w) * h);
    if (TIFFReadRGBAImageOriented(tiff, w, h, pixels.data(), ORIENTATION_TOPLEFT, 1) != 1) {
        pixels.clear();
    }
    TIFFClose(tiff);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return pixels;
}

struct TiffCase {
    const char* name;
    int width, height;
    std::uint32_t (*colour)(int x, int y);
};

TEST(TiffEncoding, LzwStripsReadBackExactlyWithLibtiff) {
    const TiffCase cases[] = {
        {"noise", 700, 450,
         [](int x, int y) { return static_cast<std::uint32_t>(x * 2654435761u ^ y * 97u); }},
        {"flat", 1900, 230, [](int, int) { return 0x00336699u; }},
        {"gradient", 1023, 301,
         [](int x, int y) { return static_cast<std::uint32_t>((x << 16) | (y << 8) | (x + y)); }},
        {"one pixel", 1, 1, [](int, int) { return 0x00ABCDEFu; }},
        {"one column", 1, 517, [](int, int y) { return static_cast<std::uint32_t>(y * 7919); }},
    };
    TempFolder folder;
    CPictureOperations operations;
    for (const TiffCase& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapHandle bitmap = testing::MakeBitmap(c.width, c.height, 24, [&](int x, int y) {
            return 0xFF000000u | (c.colour(x, y) & 0xFFFFFFu);
        });
        const std::string path = folder / "t.tif";
        ASSERT_EQ(operations.SaveAsTiff(path, bitmap.get()), 1);
        int width = 0, height = 0;
        const std::vector<std::uint32_t> read = ReadWithLibtiff(path, width, height);
        ASSERT_EQ(width, c.width);
        ASSERT_EQ(height, c.height);
        ASSERT_EQ(read.size(), static_cast<std::size_t>(c.width) * c.height);
        int wrong = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                const std::uint32_t abgr = read[static_cast<std::size_t>(y) * c.width + x];
                const std::uint32_t argb =
                    0xFF000000u | ((abgr & 0xFF) << 16) | (abgr & 0xFF00) | ((abgr >> 16) & 0xFF);
                wrong += argb != testing::PixelAt(*bitmap, x, y);
            }
        }
        EXPECT_EQ(wrong, 0);
        BitmapHandle ours = operations.LoadPictureFile(path);
        ASSERT_TRUE(ours);
        EXPECT_EQ(testing::MaxChannelDifference(*bitmap, *ours, false), 0);
    }
}

}  // namespace
}  // namespace fotoshuttle
