// Reuse of the memory of released pictures.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/Bitmap.h"

namespace fotoshuttle::testing {
namespace {

class PixelMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!KeepsReleasedPixelBuffers()) {
            GTEST_SKIP() << "this build gives every buffer back at once";
        }
        ReleaseSparePixelBuffers();
    }
    void TearDown() override { ReleaseSparePixelBuffers(); }
};

TEST_F(PixelMemory, TheNextPictureOfAboutTheSameSizeTakesOverAReleasedBuffer) {
    BitmapHandle first = CreateBitmap(1000, 1000, 24);
    const std::uint8_t* memory = first->pixels.get();
    first.reset();
    EXPECT_EQ(SparePixelBytes(), 4'000'000u);

    BitmapHandle smaller = CreateBitmap(1000, 600, 24);
    EXPECT_EQ(smaller->pixels.get(), memory) << "2.4 MB fits the 4 MB buffer";
    EXPECT_EQ(SparePixelBytes(), 0u);
    smaller.reset();
    EXPECT_EQ(SparePixelBytes(), 4'000'000u) << "the buffer keeps its whole size";

    // Less than half of the spare: the spare is given back rather than held for it.
    BitmapHandle muchSmaller = CreateBitmap(1000, 400, 24);
    EXPECT_NE(muchSmaller->pixels.get(), memory);
    EXPECT_EQ(SparePixelBytes(), 0u);
}

TEST_F(PixelMemory, AtMostTheTwoLatestLargeBuffersAreKeptUntilReleased) {
    std::vector<BitmapHandle> pictures;
    for (int width : {1000, 1100, 1200}) {
        pictures.push_back(CreateBitmap(width, 1000, 32));
    }
    pictures.clear();
    EXPECT_EQ(SparePixelBytes(), 4'400'000u + 4'800'000u);
    CreateBitmap(100, 100, 32).reset();
    EXPECT_EQ(SparePixelBytes(), 4'400'000u + 4'800'000u) << "small buffers are not kept";

    ReleaseSparePixelBuffers();
    EXPECT_EQ(SparePixelBytes(), 0u);
}

}  // namespace
}  // namespace fotoshuttle::testing
