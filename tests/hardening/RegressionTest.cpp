// Faults the sanitizer runs and the fuzzers found, each kept with the smallest case that
// showed it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/convert/ConversionTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle::testing {
namespace {

// The GIF encoder's nearest-colour cache stored index + 1 in a byte: with a full palette of
// 256 colours, index 255 read back as "unknown - 1" = -1, and the error diffusion read the
// colour before the palette (AddressSanitizer: stack-buffer-overflow).
TEST(Regression, GifOfAPictureWithAFullPaletteKeepsItsColours) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle source = CreateBitmap(256, 192, 24);
    ASSERT_TRUE(source);
    for (int y = 0; y < source->height; ++y) {
        std::uint8_t* row = source->TopDownRow(y);
        for (int x = 0; x < source->width; ++x) {
            row[x * 4 + 0] = static_cast<std::uint8_t>(x);
            row[x * 4 + 1] = static_cast<std::uint8_t>(y * 4 / 3);
            row[x * 4 + 2] = static_cast<std::uint8_t>((x * 7 + y * 13) & 255);
            row[x * 4 + 3] = 255;
        }
    }
    ASSERT_EQ(operations.SaveAsGif(folder / "full.gif", source.get()), 1);
    BitmapHandle back = operations.LoadPictureFile(folder / "full.gif");
    ASSERT_TRUE(back);
    long total = 0;
    for (std::size_t i = 0; i < source->PixelBytes(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            total += std::abs(int{source->pixels[i + c]} - int{back->pixels[i + c]});
        }
    }
    const double mean = static_cast<double>(total) / (source->PixelBytes() / 4 * 3);
    EXPECT_LT(mean, 16.0);
}

}  // namespace
}  // namespace fotoshuttle::testing
