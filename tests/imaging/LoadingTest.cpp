// LoadPictureFile on what arrives in a watched folder: pictures under any name, files still
// being copied, damaged files, lies about the size, and things that are not files at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QImage>

#include <cstring>
#include <random>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"
#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

using SaveRoutine = int (CPictureOperations::*)(const std::string&, const Bitmap*);

struct Format {
    const char* extension;
    SaveRoutine save;
};

const Format kFormats[] = {
    {".bmp", &CPictureOperations::SaveAsBmp},  {".png", &CPictureOperations::SaveAsPng},
    {".jpg", &CPictureOperations::SaveAsJpeg}, {".gif", &CPictureOperations::SaveAsGif},
    {".tif", &CPictureOperations::SaveAsTiff},
};

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}
std::string LittleEndian32(std::uint32_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
            static_cast<char>(value >> 24)};
}
std::string LittleEndian16(std::uint16_t value) {
    return {static_cast<char>(value), static_cast<char>(value >> 8)};
}

// A PNG whose IHDR (checksum correct) claims width x height over the pixels of a real file.
std::string PngClaiming(const std::string& png, std::uint32_t width, std::uint32_t height) {
    std::string patched = png;
    const std::string body = "IHDR" + BigEndian32(width) + BigEndian32(height) + png.substr(24, 5);
    patched.replace(12, 17, body);
    patched.replace(29, 4, BigEndian32(Crc32(body)));
    return patched;
}

// A TIFF directory for an 8-bit RGB picture of the claimed size with one tiny strip.
std::string TiffClaiming(std::uint32_t width, std::uint32_t height) {
    std::string tiff = "II" + LittleEndian16(42) + LittleEndian32(8);
    const std::uint16_t entries = 8;
    const std::uint32_t dataOffset = 8 + 2 + entries * 12 + 4 + 6;
    tiff += LittleEndian16(entries);
    auto entry = [&tiff](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                         std::uint32_t value) {
        tiff += LittleEndian16(tag) + LittleEndian16(type) + LittleEndian32(count) +
                LittleEndian32(value);
    };
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 3, 8 + 2 + entries * 12 + 4);  // three shorts, stored after the directory
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, dataOffset);
    entry(277, 3, 1, 3);
    entry(279, 4, 1, 3);
    tiff += LittleEndian32(0);
    tiff += LittleEndian16(8) + LittleEndian16(8) + LittleEndian16(8);
    tiff += std::string(3, '\x7f');
    return tiff;
}

std::string BmpClaiming(std::int32_t width, std::int32_t height) {
    std::string bmp = "BM" + LittleEndian32(54 + 3) + LittleEndian32(0) + LittleEndian32(54);
    bmp += LittleEndian32(40) + LittleEndian32(static_cast<std::uint32_t>(width)) +
           LittleEndian32(static_cast<std::uint32_t>(height)) + LittleEndian16(1) +
           LittleEndian16(24) + LittleEndian32(0) + LittleEndian32(0) + LittleEndian32(0) +
           LittleEndian32(0) + LittleEndian32(0) + LittleEndian32(0);
    return bmp + std::string(3, '\0');
}

class Loading : public ::testing::Test {
  protected:
    // A small picture in every format, made by our own encoders.
    void SetUp() override {
        m_picture = testing::MakeGradientBitmap(61, 43);
        for (const Format& format : kFormats) {
            const std::string path = m_folder / (std::string("sample") + format.extension);
            ASSERT_EQ((m_operations.*format.save)(path, m_picture.get()), 1);
            m_samples.push_back(ReadFile(path));
        }
    }
    LoadResult LoadBytes(const std::string& name, const std::string& bytes) {
        WriteFile(m_folder / name, bytes);
        return m_operations.LoadPictureFileDetailed(m_folder / name);
    }

    TempFolder m_folder;
    CPictureOperations m_operations;
    BitmapHandle m_picture;
    std::vector<std::string> m_samples;
};

TEST_F(Loading, ContentDecidesTheFormatWhateverTheName) {
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        const std::string misnamed = std::string("really-") + kFormats[i].extension + ".jpg";
        LoadResult result = LoadBytes(misnamed, m_samples[i]);
        ASSERT_TRUE(result.bitmap) << misnamed;
        EXPECT_EQ(result.bitmap->width, 61);
        EXPECT_EQ(result.bitmap->height, 43);
        BitmapHandle plain = m_operations.LoadPictureFile(m_folder / misnamed);
        EXPECT_TRUE(plain);
    }
}

TEST_F(Loading, WhatIsNotAPictureGivesTheNullHandle) {
    ::mkfifo((m_folder / "pipe.png").c_str(), 0644);  // must not block the loader
    ::mkdir((m_folder / "folder.jpg").c_str(), 0755);
    WriteFile(m_folder / "locked.png", m_samples[1]);
    ::chmod((m_folder / "locked.png").c_str(), 0);
    struct Case {
        std::string path;
        LoadStatus status;
    };
    WriteFile(m_folder / "empty.jpg", "");
    WriteFile(m_folder / "text.jpg", "This is a text file with a picture's name.\n");
    WriteFile(m_folder / "RIFF.bmp", std::string("RIFF\0\0\0\0WEBPVP8 ", 16));
    const Case cases[] = {
        {m_folder / "empty.jpg", LoadStatus::Truncated},
        {m_folder / "text.jpg", LoadStatus::NotAPicture},
        {m_folder / "RIFF.bmp", LoadStatus::NotAPicture},
        {m_folder / "missing.png", LoadStatus::FileUnreadable},
        {m_folder / "folder.jpg", LoadStatus::FileUnreadable},
        {m_folder / "pipe.png", LoadStatus::FileUnreadable},
        {m_folder / "locked.png", LoadStatus::FileUnreadable},
        {"", LoadStatus::FileUnreadable},
    };
    for (const Case& c : cases) {
        LoadResult result = m_operations.LoadPictureFileDetailed(c.path);
        EXPECT_FALSE(result.bitmap) << c.path;
        EXPECT_EQ(result.status, c.status) << c.path << ": " << LoadStatusName(result.status);
        EXPECT_FALSE(m_operations.LoadPictureFile(c.path)) << c.path;
    }
}

TEST_F(Loading, FilesCutShortAreTruncatedWhereverTheCutFalls) {
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        const std::string& whole = m_samples[i];
        for (std::size_t length :
             {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{20}, whole.size() / 3,
              whole.size() / 2, whole.size() - 20, whole.size() - 2, whole.size() - 1}) {
            LoadResult result = LoadBytes("cut", whole.substr(0, length));
            EXPECT_FALSE(result.bitmap) << kFormats[i].extension << " cut to " << length;
            EXPECT_EQ(result.status, LoadStatus::Truncated)
                << kFormats[i].extension << " cut to " << length << ": "
                << LoadStatusName(result.status);
        }
    }
}

TEST_F(Loading, HugeDeclaredSizesAreRefusedBeforeAllocating) {
    std::string gif = m_samples[3];
    gif.replace(6, 4, "\xFF\xFF\xFF\xFF");  // logical screen 65535 x 65535
    std::string jpeg = m_samples[2];
    const std::size_t frame = jpeg.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    jpeg.replace(frame + 5, 4, "\xFF\xDC\xFF\xDC");  // 65500 x 65500, JPEG's largest
    const std::pair<const char*, std::string> cases[] = {
        {"huge.png", PngClaiming(m_samples[1], 100000, 100000)},
        {"over-limit.png", PngClaiming(m_samples[1], 16385, 16384)},
        {"huge.gif", gif},
        {"huge.jpg", jpeg},
        {"huge.tif", TiffClaiming(100000, 100000)},
        {"huge.bmp", BmpClaiming(100000, 100000)},
        {"huge-top-down.bmp", BmpClaiming(100000, -100000)},
    };
    for (const auto& [name, bytes] : cases) {
        LoadResult result = LoadBytes(name, bytes);
        EXPECT_FALSE(result.bitmap) << name;
        EXPECT_EQ(result.status, LoadStatus::TooLarge)
            << name << ": " << LoadStatusName(result.status);
    }
    // The crafted TIFF is sound apart from its size: within the limit it decodes.
    LoadResult small = LoadBytes("small.tif", TiffClaiming(1, 1));
    ASSERT_TRUE(small.bitmap) << LoadStatusName(small.status);
    EXPECT_EQ(testing::PixelAt(*small.bitmap, 0, 0), 0xFF7F7F7Fu);
}

TEST_F(Loading, DamagedBytesNeverCrashTheLoader) {
    std::mt19937 random(99);
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        const std::string& whole = m_samples[i];
        for (int variant = 0; variant < 60; ++variant) {
            std::string damaged = whole;
            const int flips = 1 + variant % 8;
            for (int f = 0; f < flips; ++f) {
                // Mostly in the first part, where headers and tables live.
                const std::size_t limit =
                    variant % 2 == 0 ? std::min<std::size_t>(200, whole.size()) : whole.size();
                damaged[random() % limit] = static_cast<char>(random());
            }
            LoadResult result = LoadBytes("damaged", damaged);
            EXPECT_EQ(static_cast<bool>(result.bitmap), result.status == LoadStatus::Ok);
            if (result.bitmap) {
                EXPECT_TRUE(IsUsableBitmap(result.bitmap.get()));
            }
        }
    }
}

TEST_F(Loading, PixelsNotFullyOpaqueShowTheBackgroundColour) {
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(200, 100, 50, 255));
    image.setPixel(1, 0, qRgba(200, 100, 50, 128));
    image.setPixel(2, 0, qRgba(200, 100, 50, 1));
    image.setPixel(3, 0, qRgba(200, 100, 50, 0));
    ASSERT_TRUE(image.save(QString::fromStdString(m_folder / "alpha.png"), "PNG"));
    m_operations.SetBackgroundColor(0xFF102030);
    BitmapHandle loaded = m_operations.LoadPictureFile(m_folder / "alpha.png");
    ASSERT_TRUE(loaded);
    auto over = [](unsigned c, unsigned a, unsigned b) {
        return (c * a + b * (255 - a) + 127) / 255;
    };
    const std::uint32_t expected[4] = {
        0xFFC86432u,
        0xFF000000u | (over(200, 128, 0x10) << 16) | (over(100, 128, 0x20) << 8) |
            over(50, 128, 0x30),
        0xFF000000u | (over(200, 1, 0x10) << 16) | (over(100, 1, 0x20) << 8) | over(50, 1, 0x30),
        0xFF102030u,
    };
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(testing::PixelAt(*loaded, x, 0), expected[x]) << x;
    }
}

TEST_F(Loading, APictureOfTwoHundredAndFiftyMegapixelsLoads) {
    // 16384 x 15300 = 250.7 million pixels, a flat JPEG so the file stays small.
    BitmapHandle big = CreateBitmap(16384, 15300, 24);
    ASSERT_TRUE(big);
    std::memset(big->pixels.get(), 0x5A, big->PixelBytes());
    ASSERT_EQ(m_operations.SaveAsJpeg(m_folder / "big.jpg", big.get()), 1);
    big.reset();
    BitmapHandle loaded = m_operations.LoadPictureFile(m_folder / "big.jpg");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width, 16384);
    EXPECT_EQ(loaded->height, 15300);
    EXPECT_LE(std::abs(int{loaded->TopDownRow(15299)[16383 * 4]} - 0x5A), 1);
}

}  // namespace
}  // namespace fotoshuttle
