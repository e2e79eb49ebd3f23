// The public test suites of other decoders: valid files give their reference pixels, files
// the suites call broken give the null handle, and nothing crashes.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <set>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::CorpusPath;
using testing::FilesIn;

// A background no suite picture uses, so composition mistakes show.
constexpr std::uint32_t kBackground = 0xFF3C8A5D;

bool EndsWith(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

class CorpusDecoding : public ::testing::Test {
  protected:
    CorpusDecoding() { m_operations.SetBackgroundColor(kBackground); }
    BackgroundColor Background() const { return BackgroundColor::FromArgb(kBackground); }
    LoadResult Load(const std::string& relative) {
        return m_operations.LoadPictureFileDetailed(CorpusPath(relative));
    }
    // Every file with the extension in these suite folders loads, except the refused ones.
    void ExpectSuitesLoad(std::initializer_list<const char*> folders, const std::string& extension,
                          const std::set<std::string>& refused) {
        for (const std::string folder : folders) {
            for (const std::string& name : FilesIn(CorpusPath(folder))) {
                if (!EndsWith(name, extension)) {
                    continue;
                }
                const std::string relative = folder + "/" + name;
                SCOPED_TRACE(relative);
                LoadResult result = Load(relative);
                EXPECT_EQ(static_cast<bool>(result.bitmap), refused.count(relative) == 0)
                    << LoadStatusName(result.status);
            }
        }
    }
    CPictureOperations m_operations;
};

TEST_F(CorpusDecoding, PngSuiteMatchesAnIndependentDecoderAndRefusesTheBrokenFiles) {
    int valid = 0;
    for (const std::string& name : FilesIn(CorpusPath("pngsuite"))) {
        if (!EndsWith(name, ".png")) {
            continue;
        }
        SCOPED_TRACE(name);
        LoadResult result = Load("pngsuite/" + name);
        if (name[0] == 'x') {
            EXPECT_FALSE(result.bitmap);
            EXPECT_NE(result.status, LoadStatus::Ok);
            continue;
        }
        ASSERT_TRUE(result.bitmap) << LoadStatusName(result.status);
        if (name == "tbbn2c16.png" || name == "tbgn2c16.png") {
            // 16-bit RGB keyed transparent on white: Qt shows the keyed pixels opaque, but
            // they are transparent, so the background shows.
            EXPECT_EQ(testing::PixelAt(*result.bitmap, 0, 0), kBackground);
            continue;
        }
        BitmapHandle reference =
            testing::DecodeWithQt(CorpusPath("pngsuite/" + name), Background());
        ASSERT_TRUE(reference);
        // 16-bit samples: libpng rounds to 8 bits, libspng truncates.
        const int tolerance = name.find("16") != std::string::npos ? 2 : 0;
        EXPECT_LE(testing::MaxChannelDifference(*reference, *result.bitmap), tolerance);
        ++valid;
    }
    EXPECT_GT(valid, 150);
}

TEST_F(CorpusDecoding, GifFirstFramesMatchTheSuiteReferences) {
    int compared = 0;
    for (const std::string& name : FilesIn(CorpusPath("gif-test-suite/gifs"))) {
        const std::string stem = name.substr(0, name.size() - 4);
        const std::string animated = CorpusPath("gif-test-suite/gifs/frames/" + stem + "-0.png");
        const std::string still = CorpusPath("gif-test-suite/gifs/frames/" + stem + ".png");
        const QImage frame(QString::fromStdString(testing::Exists(animated) ? animated : still));
        SCOPED_TRACE(name);
        ASSERT_FALSE(frame.isNull());
        LoadResult result = Load("gif-test-suite/gifs/" + name);
        ASSERT_TRUE(result.bitmap) << LoadStatusName(result.status);
        BitmapHandle reference = testing::BitmapFromQImage(frame, Background());
        EXPECT_EQ(testing::MaxChannelDifference(*reference, *result.bitmap), 0);
        ++compared;
    }
    EXPECT_EQ(compared, 13);
}

TEST_F(CorpusDecoding, GifSuitesDecodeExceptTheirBrokenFiles) {
    const std::set<std::string> refused = {
        "gif-giflib/malformed/cve-2005-2974-partial-treescap.gif",
        "gif-giflib/malformed/cve-2019-15133-zero-height-treescap.gif",
        "gif-pillow/decompression_bomb.gif",
        "gif-pillow/zero_width.gif",
        // LZW minimum code size 11, beyond the format's 8: giflib refuses it.
        "gif-pillow/issue_2811.gif",
    };
    ExpectSuitesLoad({"gif-giflib/pic", "gif-giflib/malformed", "gif-giflib/tests",
                      "gif-giflib/doc/whatsinagif", "gif-pillow"},
                     ".gif", refused);
    // Transparent pixels show the background.
    LoadResult transparent = Load("gif-giflib/doc/whatsinagif/sample_1_trans.gif");
    ASSERT_TRUE(transparent.bitmap);
    BitmapHandle viaQt = testing::DecodeWithQt(
        CorpusPath("gif-giflib/doc/whatsinagif/sample_1_trans.gif"), Background());
    ASSERT_TRUE(viaQt);
    EXPECT_EQ(testing::MaxChannelDifference(*viaQt, *transparent.bitmap), 0);
}

TEST_F(CorpusDecoding, JpegDecodesBaselineProgressiveGreyAndCmyk) {
    // The picture testorig.jpg was made from.
    LoadResult original = Load("jpeg-libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(original.bitmap);
    const QImage ppm(QString::fromStdString(CorpusPath("jpeg-libjpeg-turbo/testorig.ppm")));
    BitmapHandle reference = testing::BitmapFromQImage(ppm, Background());
    ASSERT_TRUE(reference);
    EXPECT_LE(testing::MaxChannelDifference(*reference, *original.bitmap), 4);
    // Adobe CMYK (stored as YCCK) against its RGB twin.
    LoadResult cmyk = Load("jpeg-pillow/pil_sample_cmyk.jpg");
    LoadResult rgb = Load("jpeg-pillow/pil_sample_rgb.jpg");
    ASSERT_TRUE(cmyk.bitmap);
    ASSERT_TRUE(rgb.bitmap);
    EXPECT_EQ(cmyk.bitmap->bitsPerPixel, 32);
    double total = 0;
    for (std::size_t i = 0; i < rgb.bitmap->PixelBytes(); ++i) {
        total += std::abs(int{cmyk.bitmap->pixels[i]} - int{rgb.bitmap->pixels[i]});
    }
    EXPECT_LT(total / static_cast<double>(rgb.bitmap->PixelBytes()), 8.0);
    // Grey: all three channels equal.
    LoadResult grey = Load("jpeg-pillow/hopper_gray.jpg");
    ASSERT_TRUE(grey.bitmap);
    EXPECT_EQ(grey.bitmap->bitsPerPixel, 8);
    const std::uint32_t pixel = testing::PixelAt(*grey.bitmap, 60, 60);
    EXPECT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF);
    EXPECT_EQ(pixel & 0xFF, (pixel >> 16) & 0xFF);
    // Progressive photographs.
    LoadResult photo = Load("photos-unsplash/jon-tyson-FKkK1hnTe-Q-unsplash.jpg");
    ASSERT_TRUE(photo.bitmap);
    EXPECT_EQ(photo.bitmap->width, 4032);
    EXPECT_EQ(photo.bitmap->height, 3024);
}

TEST_F(CorpusDecoding, JpegSuitesDecodeExceptTheirBrokenFiles) {
    const std::set<std::string> refused = {
        "jpeg-pillow/truncated_jpeg.jpg",
        // Cut after the primary image's first scan header (the suite keeps only its metadata).
        "jpeg-pillow/ultrahdr.jpg",
        // 12-bit samples: beyond the 8-bit library.
        "jpeg-libjpeg-turbo/monkey12.jpg",
    };
    ExpectSuitesLoad({"jpeg-pillow", "jpeg-libjpeg-turbo", "jpeg-exif-orientation"}, ".jpg",
                     refused);
    EXPECT_EQ(Load("jpeg-pillow/truncated_jpeg.jpg").status, LoadStatus::Truncated);
    EXPECT_EQ(Load("jpeg-libjpeg-turbo/monkey12.jpg").status, LoadStatus::Unsupported);
}

TEST_F(CorpusDecoding, TiffLayoutsAndCompressionsGiveTheSamePixels) {
    // Groups of files holding one picture in different layouts or lossless compressions.
    const std::vector<std::vector<std::string>> groups = {
        {"tiff-pillow/hopper.tif", "tiff-pillow/hopper_lzw.tif", "tiff-pillow/hopper_bigtiff.tif",
         "tiff-pillow/hopper_lzma.tif"},
        {"tiff-pillow/tiff_strip_raw.tif", "tiff-pillow/tiff_tiled_raw.tif",
         "tiff-pillow/tiff_strip_planar_raw.tif", "tiff-pillow/tiff_tiled_planar_raw.tif",
         "tiff-pillow/tiff_strip_planar_lzw.tiff", "tiff-pillow/tiff_tiled_planar_lzw.tiff"},
        {"libtiff-pics/depth/flower-rgb-contig-08.tif",
         "libtiff-pics/depth/flower-rgb-planar-08.tif"},
        {"libtiff-pics/cramps.tif", "libtiff-pics/cramps-tile.tif"},
    };
    for (const auto& group : groups) {
        LoadResult first = Load(group[0]);
        ASSERT_TRUE(first.bitmap) << group[0] << ": " << LoadStatusName(first.status);
        for (std::size_t i = 1; i < group.size(); ++i) {
            LoadResult other = Load(group[i]);
            ASSERT_TRUE(other.bitmap) << group[i] << ": " << LoadStatusName(other.status);
            EXPECT_EQ(testing::MaxChannelDifference(*first.bitmap, *other.bitmap), 0) << group[i];
        }
    }
    // 16-bit samples come down to their high bytes: the 8-bit twin within rounding.
    LoadResult eight = Load("libtiff-pics/depth/flower-rgb-contig-08.tif");
    LoadResult sixteen = Load("libtiff-pics/depth/flower-rgb-contig-16.tif");
    ASSERT_TRUE(sixteen.bitmap);
    EXPECT_LE(testing::MaxChannelDifference(*eight.bitmap, *sixteen.bitmap), 1);
    // Palette, CMYK and grey decode to the same drawing.
    for (const char* variant : {"libtiff-pics/depth/flower-palette-08.tif",
                                "libtiff-pics/depth/flower-separated-contig-08.tif",
                                "libtiff-pics/depth/flower-minisblack-08.tif"}) {
        LoadResult result = Load(variant);
        ASSERT_TRUE(result.bitmap) << variant << ": " << LoadStatusName(result.status);
        EXPECT_EQ(result.bitmap->width, eight.bitmap->width) << variant;
    }
}

TEST_F(CorpusDecoding, TiffFuzzerReproductionsDoNoHarm) {
    // Every file is loaded; none may crash. The fuzzer files that today's libtiff reads as
    // valid pictures may load, the rest must not.
    for (const std::string& name : FilesIn(CorpusPath("tiff-pillow"))) {
        LoadResult result = Load("tiff-pillow/" + name);
        if (name == "libtiff_segfault.tif" || name.rfind("oom-", 0) == 0) {
            EXPECT_FALSE(result.bitmap) << name;
        }
    }
    for (const std::string& name : FilesIn(CorpusPath("libtiff-pics"))) {
        Load("libtiff-pics/" + name);
    }
    for (const std::string& name : FilesIn(CorpusPath("libtiff-pics/depth"))) {
        Load("libtiff-pics/depth/" + name);
    }
}

TEST_F(CorpusDecoding, BmpSuiteGoodFilesShowTheSameDrawing) {
    LoadResult truecolour = Load("bmpsuite/g/rgb24.bmp");
    LoadResult palette = Load("bmpsuite/g/pal8.bmp");
    ASSERT_TRUE(truecolour.bitmap);
    ASSERT_TRUE(palette.bitmap);
    // The same pixels in other encodings; 16-bit files hold 5 or 6 bits per channel.
    const std::vector<std::pair<const char*, int>> likeTruecolour = {
        {"rgb24pal.bmp", 0}, {"rgb32.bmp", 0},     {"rgb32bf.bmp", 0},      {"rgb32bfdef.bmp", 0},
        {"rgb16.bmp", 9},    {"rgb16-565.bmp", 9}, {"rgb16-565pal.bmp", 9}, {"rgb16bfdef.bmp", 9}};
    const char* likePalette[] = {"pal8-0.bmp",      "pal8os2.bmp", "pal8rle.bmp",
                                 "pal8topdown.bmp", "pal8v4.bmp",  "pal8v5.bmp"};
    for (const auto& [name, tolerance] : likeTruecolour) {
        LoadResult result = Load(std::string("bmpsuite/g/") + name);
        ASSERT_TRUE(result.bitmap) << name;
        EXPECT_LE(testing::MaxChannelDifference(*truecolour.bitmap, *result.bitmap), tolerance)
            << name;
    }
    for (const char* name : likePalette) {
        LoadResult result = Load(std::string("bmpsuite/g/") + name);
        ASSERT_TRUE(result.bitmap) << name;
        EXPECT_EQ(testing::MaxChannelDifference(*palette.bitmap, *result.bitmap), 0) << name;
    }
    // And every good file decodes.
    for (const std::string& name : FilesIn(CorpusPath("bmpsuite/g"))) {
        LoadResult result = Load("bmpsuite/g/" + name);
        EXPECT_TRUE(result.bitmap) << name << ": " << LoadStatusName(result.status);
    }
}

TEST_F(CorpusDecoding, BmpSuiteBadFilesNeverCrashAndTheHugeOneHitsTheLimit) {
    for (const std::string folder : {"bmpsuite/b", "bmpsuite/q", "bmpsuite/x"}) {
        for (const std::string& name : FilesIn(CorpusPath(folder))) {
            Load(folder + "/" + name);
        }
    }
    EXPECT_EQ(Load("bmpsuite/b/reallybig.bmp").status, LoadStatus::TooLarge);
    EXPECT_EQ(Load("bmpsuite/b/shortfile.bmp").status, LoadStatus::Truncated);
    EXPECT_EQ(Load("bmpsuite/x/ba-bm.bmp").status, LoadStatus::NotAPicture);
}

TEST_F(CorpusDecoding, PngPillowFilesDecodeOrAreRefusedAsTheirSuiteSays) {
    for (const char* broken : {"png-pillow/broken.png", "png-pillow/truncated_image.png",
                               "png-pillow/truncated_end_chunk.png"}) {
        EXPECT_FALSE(Load(broken).bitmap) << broken;
    }
    EXPECT_EQ(Load("png-pillow/truncated_image.png").status, LoadStatus::Truncated);
    for (const char* good : {"png-pillow/l_trns.png", "png-pillow/p_16.png", "png-pillow/tiny.png",
                             "png-pillow/palette_wedge.png", "png-pillow/exif.png"}) {
        EXPECT_TRUE(Load(good).bitmap) << good;
    }
    // Animation chunks in every broken arrangement: still images come from IDAT or are
    // refused, never a crash.
    for (const std::string& name : FilesIn(CorpusPath("png-pillow/apng"))) {
        Load("png-pillow/apng/" + name);
    }
}

}  // namespace
}  // namespace fotoshuttle
