// The vector kernels must give exactly the scalar rule's bytes, including the clamped last
// column and row, the alpha rule and widths that leave a remainder after the vector part.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/Resampling.h"
#include "imaging/ResamplingKernels.h"

namespace fotoshuttle {
namespace {

BitmapHandle RandomBitmap(std::mt19937& random, int width, int height, int bitsPerPixel) {
    BitmapHandle bitmap = CreateBitmap(width, height, bitsPerPixel);
    for (std::size_t i = 0; i < bitmap->PixelBytes(); ++i) {
        bitmap->pixels[i] = static_cast<std::uint8_t>(random());
    }
    return bitmap;
}

void ExpectSameAsScalar(ResampleKernel kernel, const Bitmap& source, int newWidth, int newHeight) {
    const BitmapHandle expected =
        ResampleBilinearWith(ResampleKernel::Scalar, &source, newWidth, newHeight);
    const BitmapHandle actual = ResampleBilinearWith(kernel, &source, newWidth, newHeight);
    ASSERT_TRUE(expected && actual);
    ASSERT_EQ(actual->width, newWidth);
    ASSERT_EQ(actual->height, newHeight);
    ASSERT_EQ(std::memcmp(expected->pixels.get(), actual->pixels.get(), expected->PixelBytes()), 0)
        << source.width << "x" << source.height << "x" << source.bitsPerPixel << " -> " << newWidth
        << "x" << newHeight;
}

class ResamplingKernelTest : public ::testing::TestWithParam<ResampleKernel> {
  protected:
    void SetUp() override {
        if (!IsKernelAvailable(GetParam())) {
            GTEST_SKIP() << "this processor cannot run the kernel";
        }
    }
};

TEST_P(ResamplingKernelTest, MatchesTheScalarRuleOnRandomSizes) {
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> side(1, 300);
    for (int round = 0; round < 300; ++round) {
        const int bits = round % 2 == 0 ? 32 : 24;
        const BitmapHandle source = RandomBitmap(random, side(random), side(random), bits);
        ExpectSameAsScalar(GetParam(), *source, side(random), side(random));
    }
}

TEST_P(ResamplingKernelTest, MatchesTheScalarRuleOnPhotoSizesAndExtremeSteps) {
    std::mt19937 random(7);
    const BitmapHandle photo = RandomBitmap(random, 4000, 3000, 24);
    ExpectSameAsScalar(GetParam(), *photo, 800, 600);
    ExpectSameAsScalar(GetParam(), *photo, 1023, 767);
    const BitmapHandle tiny = RandomBitmap(random, 2, 3, 32);
    ExpectSameAsScalar(GetParam(), *tiny, 601, 900);  // steps below one pixel in 1/256
    const BitmapHandle column = RandomBitmap(random, 1, 40, 32);
    ExpectSameAsScalar(GetParam(), *column, 37, 5);
    const BitmapHandle row = RandomBitmap(random, 517, 1, 24);
    ExpectSameAsScalar(GetParam(), *row, 9, 33);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ResamplingKernelTest,
                         ::testing::Values(ResampleKernel::Sse2, ResampleKernel::Avx2),
                         [](const auto& info) {
                             return info.param == ResampleKernel::Sse2 ? "Sse2" : "Avx2";
                         });

TEST(ResamplingKernel, ResizeBitmapUsesTheFastestKernelAndGivesTheSameBytes) {
    std::mt19937 random(3);
    const BitmapHandle source = RandomBitmap(random, 123, 77, 24);
    const BitmapHandle viaDispatch = ResampleBilinear(source.get(), 301, 50);
    const BitmapHandle scalar = ResampleBilinearWith(ResampleKernel::Scalar, source.get(), 301, 50);
    ASSERT_TRUE(viaDispatch && scalar);
    EXPECT_EQ(std::memcmp(viaDispatch->pixels.get(), scalar->pixels.get(), scalar->PixelBytes()),
              0);
    EXPECT_TRUE(IsKernelAvailable(FastestKernel()));
}

}  // namespace
}  // namespace fotoshuttle
