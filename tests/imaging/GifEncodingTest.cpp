// Pictures of more than 256 colours are quantized and dithered: the result must stay close to
// the source everywhere, including the colours that get the last palette entries.
#include <gtest/gtest.h>

#include <string>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::TempFolder;

TEST(GifEncoding, DitheredPicturesStayCloseToTheSourceEverywhere) {
    struct Case {
        const char* name;
        std::uint32_t (*colour)(int x, int y);
    };
    const Case cases[] = {
        {"colour ramp",
         [](int x, int y) {
             return static_cast<std::uint32_t>(((x & 255) << 16) | ((y & 255) << 8) |
                                               ((x + y) & 255));
         }},
        {"grey ramp with noise",
         [](int x, int y) {
             const auto grey = static_cast<std::uint32_t>((x + y) / 3 & 255);
             const std::uint32_t noise = (static_cast<std::uint32_t>(x * 2654435761u ^ y) >> 29);
             return ((grey ^ noise) * 0x10101u) & 0xFFFFFFu;
         }},
    };
    TempFolder folder;
    CPictureOperations operations;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapHandle bitmap = testing::MakeBitmap(
            512, 384, 24, [&](int x, int y) { return 0xFF000000u | c.colour(x, y); });
        const std::string path = folder / "d.gif";
        ASSERT_EQ(operations.SaveAsGif(path, bitmap.get()), 1);
        BitmapHandle loaded = operations.LoadPictureFile(path);
        ASSERT_TRUE(loaded);
        EXPECT_LT(testing::MeanChannelDifference(*bitmap, *loaded), 8.0);
        EXPECT_LE(testing::MaxChannelDifference(*bitmap, *loaded, false), 96);
    }
}

}  // namespace
}  // namespace fotoshuttle
