// The save family: encoder choice by MIME type, output formats, and the promise that a
// target is either the complete new file or left exactly as it was.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <QImage>

#include <cstring>
#include <random>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::Exists;
using testing::FilesIn;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

using SaveRoutine = int (CPictureOperations::*)(const std::string&, const Bitmap*);

struct Format {
    const char* mime;
    const char* extension;
    SaveRoutine save;
    bool lossless;
};

const Format kFormats[] = {
    {"image/bmp", ".bmp", &CPictureOperations::SaveAsBmp, true},
    {"image/png", ".png", &CPictureOperations::SaveAsPng, true},
    {"image/jpeg", ".jpg", &CPictureOperations::SaveAsJpeg, false},
    {"image/gif", ".gif", &CPictureOperations::SaveAsGif, false},
    {"image/tiff", ".tif", &CPictureOperations::SaveAsTiff, true},
};

BitmapHandle NoiseBitmap(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    return testing::MakeBitmap(width, height, 32, [&random](int, int) {
        return static_cast<std::uint32_t>(random()) | 0xFF000000u;
    });
}

// At most 200 colours, so a GIF can hold it exactly.
BitmapHandle FewColourBitmap(int width, int height) {
    return testing::MakeBitmap(width, height, 8, [](int x, int y) {
        const std::uint32_t index = static_cast<std::uint32_t>((x / 3 + y / 5 * 7) % 200);
        return 0xFF000000u | ((index * 37 % 256) << 16) | ((index * 91 % 256) << 8) |
               (index * 13 % 256);
    });
}

TEST(GetEncoderClsid, FindsEachMimeTypeExactlyAndCaseSensitively) {
    CPictureOperations operations;
    std::vector<EncoderId> seen;
    for (const Format& format : kFormats) {
        EncoderId id;
        const int position = operations.GetEncoderClsid(format.mime, &id);
        EXPECT_GE(position, 0) << format.mime;
        EXPECT_NE(id, EncoderId{}) << format.mime;
        for (const EncoderId& other : seen) {
            EXPECT_NE(id, other);
        }
        seen.push_back(id);
    }
    const EncoderId untouched{{1, 2, 3}};
    for (const char* missing : {"IMAGE/PNG", "image/emf", "image/png ", "image/pn", "", "png"}) {
        EncoderId id = untouched;
        EXPECT_EQ(operations.GetEncoderClsid(missing, &id), -1) << missing;
        EXPECT_EQ(id, untouched) << missing;
    }
}

// A derived class that answers differently changes what the save routines write.
class PngForEverything : public CPictureOperations {
  public:
    int GetEncoderClsid(const std::string& mimeType, EncoderId* clsid) override {
        ++calls;
        return CPictureOperations::GetEncoderClsid(mimeType == "image/emf" ? mimeType : "image/png",
                                                   clsid);
    }
    int calls = 0;
};

TEST(SaveRoutines, ChooseTheirEncoderThroughTheVirtualLookup) {
    TempFolder folder;
    PngForEverything operations;
    BitmapHandle bitmap = testing::MakeGradientBitmap(20, 10);
    ASSERT_EQ(operations.SaveAsJpeg(folder / "out.jpg", bitmap.get()), 1);
    ASSERT_EQ(operations.SaveAsBmp(folder / "out.bmp", bitmap.get()), 1);
    EXPECT_EQ(operations.calls, 2);
    EXPECT_EQ(ReadFile(folder / "out.jpg").substr(1, 3), "PNG");
    EXPECT_EQ(ReadFile(folder / "out.bmp").substr(1, 3), "PNG");
}

TEST(SaveRoutines, LosslessFormatsRoundTripBitExactly) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle noise = NoiseBitmap(131, 67, 1);
    BitmapHandle fewColours = FewColourBitmap(97, 45);
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.mime);
        const bool gif = std::string(format.mime) == "image/gif";
        if (!format.lossless && !gif) {
            continue;
        }
        const Bitmap& source = gif ? *fewColours : *noise;
        const std::string path = folder / (std::string("round") + format.extension);
        ASSERT_EQ((operations.*format.save)(path, &source), 1);
        BitmapHandle loaded = operations.LoadPictureFile(path);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(testing::MaxChannelDifference(source, *loaded), 0);
    }
}

TEST(SaveRoutines, JpegRoundTripsWithinSmallError) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle source = testing::MakeGradientBitmap(160, 120);
    ASSERT_EQ(operations.SaveAsJpeg(folder / "photo.jpg", source.get()), 1);
    BitmapHandle loaded = operations.LoadPictureFile(folder / "photo.jpg");
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->width, 160);
    double total = 0;
    for (std::size_t i = 0; i < source->PixelBytes(); ++i) {
        total += std::abs(int{source->pixels[i]} - int{loaded->pixels[i]});
    }
    EXPECT_LT(total / static_cast<double>(source->PixelBytes()), 3.0);
    EXPECT_LE(testing::MaxChannelDifference(*source, *loaded), 64);
}

TEST(SaveRoutines, WriteTheAgreedEncodings) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle bitmap = NoiseBitmap(33, 17, 2);
    for (const Format& format : kFormats) {
        ASSERT_EQ(
            (operations.*format.save)(folder / (std::string("f") + format.extension), bitmap.get()),
            1)
            << format.mime;
    }
    // BMP: 24-bit uncompressed, bottom-up.
    const std::string bmp = ReadFile(folder / "f.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(bmp[28]), 24);
    EXPECT_EQ(bmp[25] & 0x80, 0);  // positive height
    // PNG: IHDR bit depth 8, colour type 2 (RGB).
    const std::string png = ReadFile(folder / "f.png");
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
    // JPEG: 4:2:0.
    const std::string jpeg = ReadFile(folder / "f.jpg");
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = -1, colorspace = -1;
    EXPECT_EQ(tjDecompressHeader3(decoder, reinterpret_cast<const unsigned char*>(jpeg.data()),
                                  jpeg.size(), &width, &height, &subsampling, &colorspace),
              0);
    tjDestroy(decoder);
    EXPECT_EQ(subsampling, TJSAMP_420);
    EXPECT_EQ(width, 33);
    // GIF: one 8-bit frame with a global colour table.
    const std::string gif = ReadFile(folder / "f.gif");
    ASSERT_GE(gif.size(), 13u);
    EXPECT_EQ(gif.substr(0, 3), "GIF");
    EXPECT_EQ(static_cast<unsigned char>(gif[10]) & 0x80, 0x80);
    // TIFF: 8-bit RGB, LZW.
    TIFF* tiff = TIFFOpen((folder / "f.tif").c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    std::uint16_t bits = 0, samples = 0, compression = 0, photometric = 0;
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFClose(tiff);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(compression, COMPRESSION_LZW);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
}

TEST(SaveRoutines, OutputsReadBackWithAnIndependentDecoder) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle bitmap = NoiseBitmap(45, 29, 3);
    for (const char* name : {"q.bmp", "q.png"}) {
        const std::string path = folder / name;
        const bool bmp = std::string(name) == "q.bmp";
        ASSERT_EQ(bmp ? operations.SaveAsBmp(path, bitmap.get())
                      : operations.SaveAsPng(path, bitmap.get()),
                  1);
        BitmapHandle viaQt = testing::DecodeWithQt(path, BackgroundColor{});
        ASSERT_TRUE(viaQt) << name;
        EXPECT_EQ(testing::MaxChannelDifference(*bitmap, *viaQt), 0) << name;
    }
}

TEST(SaveRoutines, SameHandleSavedTwiceGivesTwoFilesAndStaysUsable) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle bitmap = NoiseBitmap(16, 16, 4);
    const std::vector<std::uint8_t> before(bitmap->pixels.get(),
                                           bitmap->pixels.get() + bitmap->PixelBytes());
    EXPECT_EQ(operations.SaveAsPng(folder / "a.png", bitmap.get()), 1);
    EXPECT_EQ(operations.SaveAsTiff(folder / "a.tif", bitmap.get()), 1);
    EXPECT_EQ(std::memcmp(before.data(), bitmap->pixels.get(), before.size()), 0);
    EXPECT_EQ(FilesIn(folder.path()), (std::vector<std::string>{"a.png", "a.tif"}));
}

TEST(SaveRoutines, ReplaceAnExistingTargetAndLeaveNoTemporaryFile) {
    TempFolder folder;
    CPictureOperations operations;
    WriteFile(folder / "p.png", "old contents");
    BitmapHandle bitmap = NoiseBitmap(10, 10, 5);
    ASSERT_EQ(operations.SaveAsPng(folder / "p.png", bitmap.get()), 1);
    EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"p.png"});
    EXPECT_TRUE(operations.LoadPictureFile(folder / "p.png"));
    // Created like any file of the user's: read and write as the umask allows.
    struct stat info {};
    ASSERT_EQ(::stat((folder / "p.png").c_str(), &info), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(SaveRoutines, FailuresReturnZeroAndLeaveTheFolderAsItWas) {
    TempFolder folder;
    CPictureOperations operations;
    BitmapHandle bitmap = NoiseBitmap(12, 12, 6);
    WriteFile(folder / "keep.gif", "previous picture");
    ::mkdir((folder / "a-folder.png").c_str(), 0755);
    BitmapHandle tooWideForGif = CreateBitmap(70000, 1, 32);
    ASSERT_TRUE(tooWideForGif);
    std::memset(tooWideForGif->pixels.get(), 0x80, tooWideForGif->PixelBytes());
    Bitmap hollow;
    hollow.width = 5;
    hollow.height = 5;

    struct Case {
        const char* what;
        int result;
    };
    const Case cases[] = {
        {"null handle", operations.SaveAsPng(folder / "null.png", nullptr)},
        {"bitmap without pixels", operations.SaveAsBmp(folder / "hollow.bmp", &hollow)},
        {"missing folder", operations.SaveAsJpeg(folder / "missing/x.jpg", bitmap.get())},
        {"target is a folder", operations.SaveAsPng(folder / "a-folder.png", bitmap.get())},
        {"encoder refuses", operations.SaveAsGif(folder / "keep.gif", tooWideForGif.get())},
        {"no encoder for emf", operations.SaveAsEmf(folder / "x.emf", bitmap.get())},
        {"empty path", operations.SaveAsPng("", bitmap.get())},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result, 0) << c.what;
    }
    EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"keep.gif"});
    EXPECT_EQ(ReadFile(folder / "keep.gif"), "previous picture");
}

TEST(SaveRoutines, ReadOnlyFolderGivesZero) {
    TempFolder folder;
    ::mkdir((folder / "locked").c_str(), 0555);
    CPictureOperations operations;
    BitmapHandle bitmap = NoiseBitmap(8, 8, 7);
    EXPECT_EQ(operations.SaveAsBmp(folder / "locked/x.bmp", bitmap.get()), 0);
    EXPECT_TRUE(FilesIn(folder / "locked").empty());
}

// A small tmpfs stands in for a full disk.
class FullDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        m_mountPoint = m_folder / "disk";
        ::mkdir(m_mountPoint.c_str(), 0755);
        if (::mount("tmpfs", m_mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
        }
        m_mounted = true;
    }
    void TearDown() override {
        if (m_mounted) {
            ::umount(m_mountPoint.c_str());
        }
    }
    TempFolder m_folder;
    std::string m_mountPoint;
    bool m_mounted = false;
};

TEST_F(FullDisk, EverySaveFailsCleanlyAndKeepsTheOldTarget) {
    CPictureOperations operations;
    BitmapHandle big = NoiseBitmap(800, 800, 8);  // well over 256 KB in every format
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.mime);
        const std::string target = m_mountPoint + "/old" + format.extension;
        WriteFile(target, "the old file");
        EXPECT_EQ((operations.*format.save)(target, big.get()), 0);
        EXPECT_TRUE(ReadFile(target) == "the old file");
        EXPECT_EQ(FilesIn(m_mountPoint).size(), 1u);
        ::unlink(target.c_str());
    }
    // With room again, a save succeeds.
    BitmapHandle small = NoiseBitmap(20, 20, 9);
    EXPECT_EQ(operations.SaveAsPng(m_mountPoint + "/fits.png", small.get()), 1);
}

}  // namespace
}  // namespace fotoshuttle
