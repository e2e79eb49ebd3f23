// PNG writing and the fast reading path. The PNG writer picks a palette for pictures of at most 256
// colours; both layouts must read back exactly, in our decoder and in Qt's.
#include <gtest/gtest.h>

#include <QImage>
#include <QString>

#include <string>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::TempFolder;

struct PaletteCase {
    const char* name;
    int colours;  // distinct colours in the picture
    int expectedColourType;
};

TEST(PngEncoding, ChoosesPaletteUpTo256ColoursAndReadsBackExactly) {
    const PaletteCase cases[] = {
        {"one colour", 1, 3},
        {"256 colours", 256, 3},
        {"257 colours", 257, 2},
        {"photo-like", 1 << 24, 2},
    };
    TempFolder folder;
    CPictureOperations operations;
    for (const PaletteCase& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapHandle bitmap = testing::MakeBitmap(301, 97, 24, [&](int x, int y) {
            const auto n = static_cast<std::uint32_t>(y * 301 + x) * 2654435761u;
            return 0xFF000000u |
                   (n % static_cast<std::uint32_t>(c.colours)) * 0x10101u % 0x1000000u;
        });
        const std::string path = folder / "p.png";
        ASSERT_EQ(operations.SaveAsPng(path, bitmap.get()), 1);
        const std::string bytes = testing::ReadFile(path);
        ASSERT_GT(bytes.size(), 26u);
        EXPECT_EQ(static_cast<int>(bytes[25]), c.expectedColourType);  // IHDR colour type
        BitmapHandle ours = operations.LoadPictureFile(path);
        BitmapHandle viaQt = testing::DecodeWithQt(path, BackgroundColor{});
        ASSERT_TRUE(ours && viaQt);
        EXPECT_EQ(testing::MaxChannelDifference(*bitmap, *ours, false), 0);
        EXPECT_EQ(testing::MaxChannelDifference(*bitmap, *viaQt, false), 0);
    }
}

}  // namespace
}  // namespace fotoshuttle

namespace fotoshuttle {
namespace {

// Qt's writer uses every filter and many small IDAT chunks; our fast path and the general
// decoder must both give Qt's pixels, opaque and translucent.
TEST(PngDecoding, FilesWrittenByQtDecodeToQtsPixels) {
    TempFolder folder;
    for (const bool translucent : {false, true}) {
        QImage image(613, 211, translucent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const auto n = static_cast<std::uint32_t>(x * x + y * 7) * 2654435761u;
                image.setPixel(x, y, translucent ? n : (n | 0xFF000000u));
            }
        }
        const std::string path = folder / (translucent ? "argb.png" : "rgb.png");
        ASSERT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        CPictureOperations operations;
        BitmapHandle ours = operations.LoadPictureFile(path);
        BitmapHandle viaQt = testing::DecodeWithQt(path, BackgroundColor{});
        ASSERT_TRUE(ours && viaQt);
        EXPECT_EQ(testing::MaxChannelDifference(*ours, *viaQt), 0) << path;
    }
}

}  // namespace
}  // namespace fotoshuttle
