// ResizeBitmap's results are part of the program's contract: these pin them down.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/PictureOperations.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace fotoshuttle {
namespace {

using testing::MakeBitmap;

// Written straight from the rule, one byte at a time, to check the fast routine against.
BitmapHandle ReferenceResize(const Bitmap& source, int newWidth, int newHeight) {
    BitmapHandle out = CreateBitmap(newWidth, newHeight, 32);
    const std::uint32_t W = static_cast<std::uint32_t>(source.width);
    const std::uint32_t H = static_cast<std::uint32_t>(source.height);
    const std::uint32_t xStep = (W * 256) / static_cast<std::uint32_t>(newWidth);
    const std::uint32_t yStep = (H * 256) / static_cast<std::uint32_t>(newHeight);
    const bool hasAlpha = source.bitsPerPixel == 32;
    for (int j = 0; j < newHeight; ++j) {
        const std::uint32_t fy = static_cast<std::uint32_t>(j) * yStep;
        const std::uint32_t y0 = fy >> 8;
        const std::uint32_t y1 = std::min(y0 + 1, H - 1);
        const std::uint32_t wy = fy & 255;
        for (int i = 0; i < newWidth; ++i) {
            const std::uint32_t fx = static_cast<std::uint32_t>(i) * xStep;
            const std::uint32_t x0 = fx >> 8;
            const std::uint32_t x1 = std::min(x0 + 1, W - 1);
            const std::uint32_t wx = fx & 255;
            auto at = [&](std::uint32_t x, std::uint32_t y, int c) {
                return std::uint32_t{source.MemoryRow(static_cast<int>(y))[x * 4 + c]};
            };
            std::uint8_t* p = out->MemoryRow(j) + i * 4;
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t r0 = (at(x0, y0, c) * (256 - wx) + at(x1, y0, c) * wx) >> 8;
                const std::uint32_t r1 = (at(x0, y1, c) * (256 - wx) + at(x1, y1, c) * wx) >> 8;
                p[c] = static_cast<std::uint8_t>((r0 * (256 - wy) + r1 * wy) >> 8);
            }
            if (!hasAlpha) {
                p[3] = 255;
            }
        }
    }
    return out;
}

// A source given as blue values in memory order (row 0 = bottom), other channels fixed.
BitmapHandle BlueSource(int width, int height, const std::vector<int>& blues) {
    BitmapHandle bitmap = CreateBitmap(width, height, 24);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = bitmap->MemoryRow(row) + x * 4;
            p[0] = static_cast<std::uint8_t>(blues[static_cast<std::size_t>(row * width + x)]);
            p[1] = 7;
            p[2] = 9;
            p[3] = 0;
        }
    }
    return bitmap;
}

std::vector<int> BlueValues(const Bitmap& bitmap) {
    std::vector<int> values;
    for (int row = 0; row < bitmap.height; ++row) {
        for (int x = 0; x < bitmap.width; ++x) {
            values.push_back(bitmap.MemoryRow(row)[x * 4]);
        }
    }
    return values;
}

struct ResizeCase {
    const char* name;
    int width, height;
    std::vector<int> blues;  // memory order, bottom row first
    int newWidth, newHeight;
    std::vector<int> expected;
};

TEST(ResizeBitmap, FixedPointRuleGivesTheseExactValues) {
    std::vector<int> hundredColumns(100);
    for (int x = 0; x < 100; ++x) {
        hundredColumns[static_cast<std::size_t>(x)] = x * 2;
    }
    // W 100 -> 3: xStep 8533; columns 0 (wx 0), 33/34 (wx 85), 66/67 (wx 170).
    const int second = (66 * (256 - 85) + 68 * 85) >> 8;
    const int third = (132 * (256 - 170) + 134 * 170) >> 8;
    const std::vector<ResizeCase> cases = {
        {"enlarge 0,100", 2, 1, {0, 100}, 4, 1, {0, 50, 100, 100}},
        {"half-way truncates", 2, 1, {10, 11}, 4, 1, {10, 10, 11, 11}},
        {"shrink skips columns", 4, 1, {1, 2, 3, 4}, 2, 1, {1, 3}},
        {"shrink 3 to 2", 3, 1, {0, 100, 201}, 2, 1, {0, 150}},
        {"column from the bottom", 1, 4, {10, 20, 30, 40}, 1, 2, {10, 30}},
        {"W 100 to 3", 100, 1, hundredColumns, 3, 1, {0, second, third}},
        {"step truncates to 0", 2, 1, {5, 200}, 600, 1, std::vector<int>(600, 5)},
        {"tall step truncates to 0", 1, 2, {9, 250}, 1, 513, std::vector<int>(513, 9)},
    };
    CPictureOperations operations;
    for (const ResizeCase& c : cases) {
        SCOPED_TRACE(c.name);
        BitmapHandle source = BlueSource(c.width, c.height, c.blues);
        BitmapHandle result = operations.ResizeBitmap(source.get(), c.newWidth, c.newHeight);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->width, c.newWidth);
        EXPECT_EQ(result->height, c.newHeight);
        EXPECT_EQ(BlueValues(*result), c.expected);
        // Flat channels keep their value; alpha of a source below 32 bits becomes 255.
        EXPECT_EQ(result->MemoryRow(0)[1], 7);
        EXPECT_EQ(result->MemoryRow(0)[2], 9);
        EXPECT_EQ(result->MemoryRow(0)[3], 255);
        EXPECT_EQ(result->bitsPerPixel, 32);
    }
}

TEST(ResizeBitmap, SameSizeCopiesColoursAndAppliesTheAlphaRule) {
    std::mt19937 random(7);
    auto noise = [&random](int, int) { return static_cast<std::uint32_t>(random()); };
    CPictureOperations operations;
    for (int bits : {24, 32}) {
        SCOPED_TRACE(bits);
        BitmapHandle source = MakeBitmap(37, 23, bits, noise);
        BitmapHandle result = operations.ResizeBitmap(source.get(), 37, 23);
        ASSERT_TRUE(result);
        EXPECT_EQ(testing::MaxChannelDifference(*source, *result, false), 0);
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const std::uint32_t alpha = testing::PixelAt(*result, x, y) >> 24;
                EXPECT_EQ(alpha, bits == 32 ? testing::PixelAt(*source, x, y) >> 24 : 255u);
            }
        }
    }
}

TEST(ResizeBitmap, MatchesTheReferenceOnRandomSizes) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> side(1, 90);
    CPictureOperations operations;
    for (int round = 0; round < 300; ++round) {
        const int w = side(random), h = side(random);
        const int newW = round % 10 == 0 ? side(random) * 7 : side(random);
        const int newH = round % 10 == 5 ? side(random) * 7 : side(random);
        const int bits = round % 2 == 0 ? 32 : 24;
        BitmapHandle source = MakeBitmap(
            w, h, bits, [&random](int, int) { return static_cast<std::uint32_t>(random()); });
        BitmapHandle expected = ReferenceResize(*source, newW, newH);
        BitmapHandle actual = operations.ResizeBitmap(source.get(), newW, newH);
        ASSERT_TRUE(actual);
        ASSERT_EQ(testing::MaxChannelDifference(*expected, *actual), 0)
            << w << "x" << h << " -> " << newW << "x" << newH << " bits " << bits;
    }
}

TEST(ResizeBitmap, BottomLeftAnchorAndSourceLeftAlone) {
    BitmapHandle source = testing::MakeGradientBitmap(64, 48);
    std::vector<std::uint8_t> before(source->pixels.get(),
                                     source->pixels.get() + source->PixelBytes());
    CPictureOperations operations;
    BitmapHandle result = operations.ResizeBitmap(source.get(), 15, 200);
    ASSERT_TRUE(result);
    EXPECT_EQ(std::memcmp(before.data(), source->pixels.get(), before.size()), 0);
    // Bottom-left pixels equal (source is 24-bit, so compare colour only).
    EXPECT_EQ(std::memcmp(result->MemoryRow(0), source->MemoryRow(0), 3), 0);
}

TEST(ResizeBitmap, RefusesNullSourcesAndImpossibleSizes) {
    CPictureOperations operations;
    BitmapHandle source = testing::MakeGradientBitmap(4, 4);
    EXPECT_FALSE(operations.ResizeBitmap(nullptr, 10, 10));
    EXPECT_FALSE(operations.ResizeBitmap(source.get(), 0, 10));
    EXPECT_FALSE(operations.ResizeBitmap(source.get(), 10, -1));
    // Beyond the pixel limit: refused instead of allocating 40 GB.
    EXPECT_FALSE(operations.ResizeBitmap(source.get(), 100000, 100000));
    Bitmap hollow;  // sizes without pixels
    hollow.width = 4;
    hollow.height = 4;
    EXPECT_FALSE(operations.ResizeBitmap(&hollow, 2, 2));
}

TEST(ResizeBitmap, WideSourcesDoNotOverflowThePositions) {
    // 2^24 + 8 columns: W * 256 no longer fits 32 bits.
    const int width = (1 << 24) + 8;
    BitmapHandle source = CreateBitmap(width, 1, 24);
    ASSERT_TRUE(source);
    for (int x = 0; x < width; ++x) {
        std::uint8_t* p = source->MemoryRow(0) + static_cast<std::size_t>(x) * 4;
        p[0] = static_cast<std::uint8_t>(x >> 16);
        p[1] = p[2] = p[3] = 0;
    }
    CPictureOperations operations;
    BitmapHandle result = operations.ResizeBitmap(source.get(), 4, 1);
    ASSERT_TRUE(result);
    // Sample positions 0, W/4, W/2, 3W/4 (the exact ratio falls on whole columns here).
    EXPECT_EQ(result->MemoryRow(0)[0], 0);
    EXPECT_EQ(result->MemoryRow(0)[4], static_cast<std::uint8_t>((width / 4) >> 16));
    EXPECT_EQ(result->MemoryRow(0)[8], static_cast<std::uint8_t>((width / 2) >> 16));
    EXPECT_EQ(result->MemoryRow(0)[12], static_cast<std::uint8_t>((3 * (width / 4)) >> 16));
}

}  // namespace
}  // namespace fotoshuttle
