// The pixel limit: headers that claim more pixels than the limit are refused before anything
// large is allocated (the peak resident size is measured around each load), and a picture of
// 250 megapixels, within the limit, still goes through a whole batch.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/convert/BatchConversionFixture.h"
#include "tests/hardening/ProcessMemory.h"

namespace fotoshuttle::testing {
namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;

void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}
void PutBe(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * (size - 1 - i)));
    }
}

std::uint32_t Crc32(const char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint8_t>(data[i]);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// A 24-bit uncompressed BMP header claiming width x height, followed by a little pixel data.
std::string BmpClaiming(std::uint32_t width, std::uint32_t height) {
    std::string bytes(54 + 256, '\x40');
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLe(bytes, 2, static_cast<std::uint32_t>(bytes.size()), 4);
    PutLe(bytes, 6, 0, 4);
    PutLe(bytes, 10, 54, 4);
    PutLe(bytes, 14, 40, 4);
    PutLe(bytes, 18, width, 4);
    PutLe(bytes, 22, height, 4);
    PutLe(bytes, 26, 1, 2);
    PutLe(bytes, 28, 24, 2);
    PutLe(bytes, 30, 0, 4);
    PutLe(bytes, 34, 0, 4);
    PutLe(bytes, 38, 2835, 4);
    PutLe(bytes, 42, 2835, 4);
    PutLe(bytes, 46, 0, 4);
    PutLe(bytes, 50, 0, 4);
    return bytes;
}

// A grey 8-bit TIFF with one uncompressed strip, claiming width x height.
std::string TiffClaiming(std::uint32_t width, std::uint32_t height) {
    const int tags = 8;
    const std::size_t ifd = 8, data = ifd + 2 + tags * 12 + 4;
    std::string bytes(data + 256, '\x7F');
    bytes.replace(0, 4, "II*\0", 4);
    PutLe(bytes, 4, ifd, 4);
    PutLe(bytes, ifd, tags, 2);
    const std::array<std::array<std::uint32_t, 3>, tags> entries = {{
        {256, 4, width},                // ImageWidth, LONG
        {257, 4, height},               // ImageLength
        {258, 3, 8},                    // BitsPerSample, SHORT
        {259, 3, 1},                    // no compression
        {262, 3, 1},                    // black is zero
        {273, 4, std::uint32_t(data)},  // StripOffsets
        {278, 4, height},               // RowsPerStrip
        {279, 4, 256},                  // StripByteCounts
    }};
    std::size_t at = ifd + 2;
    for (const auto& [tag, type, value] : entries) {
        PutLe(bytes, at, tag, 2);
        PutLe(bytes, at + 2, type, 2);
        PutLe(bytes, at + 4, 1, 4);
        PutLe(bytes, at + 8, value, type == 3 ? 2 : 4);
        at += 12;
    }
    PutLe(bytes, at, 0, 4);
    return bytes;
}

class PixelLimit : public BatchConversionFixture {
  protected:
    // A small picture written by our own encoder, as bytes.
    std::string Sample(const char* extension) {
        const std::string path = m_root / (std::string("sample") + extension);
        WritePicture(path, 16, 16);
        return ReadFile(path);
    }
};

TEST_F(PixelLimit, HeadersBeyondTheLimitAreRefusedWithoutALargeAllocation) {
    std::string png = Sample(".png");
    PutBe(png, 16, 20000, 4);  // IHDR width and height: 400 million pixels
    PutBe(png, 20, 20000, 4);
    PutBe(png, 29, Crc32(png.data() + 12, 17), 4);
    std::string gif = Sample(".gif");
    PutLe(gif, 6, 0xFFFF, 2);  // logical screen 65535 x 65535
    PutLe(gif, 8, 0xFFFF, 2);
    std::string jpeg = Sample(".jpg");
    std::size_t frame = jpeg.find("\xFF\xC0");
    if (frame == std::string::npos) {
        frame = jpeg.find("\xFF\xC2");
    }
    ASSERT_NE(frame, std::string::npos);
    PutBe(jpeg, frame + 5, 65500, 2);  // 65500 x 65500
    PutBe(jpeg, frame + 7, 65500, 2);
    const std::pair<const char*, std::string> cases[] = {
        {"claims.png", png},
        {"claims.gif", gif},
        {"claims.jpg", jpeg},
        {"claims.bmp", BmpClaiming(20000, 20000)},
        {"claims-top-down.bmp", BmpClaiming(20000, static_cast<std::uint32_t>(-20000))},
        {"claims.tif", TiffClaiming(20000, 20000)},
        {"claims-wide.tif", TiffClaiming(0x7FFFFFFF, 1)},
    };
    if (!ResetPeakResidentBytes()) {
        GTEST_SKIP() << "the kernel cannot reset the peak resident size";
    }
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        WriteFile(m_root / name, bytes);
        ResetPeakResidentBytes();
        const std::uint64_t before = ResidentBytes();
        BitmapHandle picture = m_operations.LoadPictureFile(m_root / name);
        const std::uint64_t growth = PeakResidentBytes() - before;
        EXPECT_FALSE(picture);
        EXPECT_LT(growth, 64 * kMiB) << "peak grew by " << growth / kMiB << " MiB";
        std::printf("[ limit    ] %s refused, peak resident growth %llu KiB\n", name,
                    static_cast<unsigned long long>(growth / 1024));
    }
}

TEST_F(PixelLimit, APictureOfTwoHundredAndFiftyMegapixelsGoesThroughABatch) {
    {
        // 16384 x 15300 = 250.7 million pixels, flat so the file stays small.
        BitmapHandle big = CreateBitmap(16384, 15300, 24);
        ASSERT_TRUE(big);
        std::memset(big->pixels.get(), 0x5A, big->PixelBytes());
        ASSERT_EQ(m_operations.SaveAsJpeg(In("big.jpg"), big.get()), 1);
    }
    ResetPeakResidentBytes();
    const std::uint64_t before = ResidentBytes();

    BatchSummary summary = RunBatch(Options(".png"));

    const std::uint64_t growth = PeakResidentBytes() - before;
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(Exists(In("big.jpg")));
    EXPECT_EQ(PictureSize(Out("big.png")), (std::pair{16384, 15300}));
    std::printf("[ limit    ] 250.7 MP JPEG -> PNG converted, peak resident growth %llu MiB\n",
                static_cast<unsigned long long>(growth / kMiB));
    if (!UnderSanitizer()) {
        // One 1 GiB picture in memory, plus the encoder's working space; not several copies.
        EXPECT_LT(growth, 2600 * kMiB);
    }
}

}  // namespace
}  // namespace fotoshuttle::testing
