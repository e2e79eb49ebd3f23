// 24-bit BMPs are read by our own row copy; it must give Qt's pixels exactly, whatever the
// row padding and row order.
#include <gtest/gtest.h>

#include <string>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::TempFolder;

void ExpectSameAsQt(const std::string& path) {
    SCOPED_TRACE(path);
    CPictureOperations operations;
    BitmapHandle ours = operations.LoadPictureFile(path);
    BitmapHandle viaQt = testing::DecodeWithQt(path, BackgroundColor{});
    ASSERT_TRUE(ours && viaQt);
    EXPECT_EQ(testing::MaxChannelDifference(*ours, *viaQt), 0);
}

TEST(BmpDecoding, UncompressedTrueColourMatchesQt) {
    ExpectSameAsQt(testing::CorpusPath("bmpsuite/g/rgb24.bmp"));
    ExpectSameAsQt(testing::CorpusPath("bmpsuite/g/rgb24pal.bmp"));

    TempFolder folder;
    CPictureOperations operations;
    for (int width : {1, 2, 3, 5, 64}) {  // every row padding
        BitmapHandle bitmap = testing::MakeBitmap(width, 7, 24, [](int x, int y) {
            return 0xFF000000u | static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u);
        });
        const std::string path = folder / (std::to_string(width) + "-wide.bmp");
        ASSERT_EQ(operations.SaveAsBmp(path, bitmap.get()), 1);
        ExpectSameAsQt(path);
        // The same rows stored top-down: a negative height.
        std::string bytes = testing::ReadFile(path);
        const std::string topDown = path + ".top.bmp";
        bytes[22] = static_cast<char>(-7);
        bytes[23] = bytes[24] = bytes[25] = static_cast<char>(0xFF);
        testing::WriteFile(topDown, bytes);
        ExpectSameAsQt(topDown);
    }
}

}  // namespace
}  // namespace fotoshuttle
