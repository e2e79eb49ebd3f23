// Decode, encode and resample throughput on photo-sized pictures. Decode and encode report
// source megapixels per second, resampling output megapixels per second.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "imaging/PictureDecoder.h"
#include "imaging/PictureOperations.h"

namespace {

using fotoshuttle::Bitmap;
using fotoshuttle::BitmapHandle;
using fotoshuttle::CPictureOperations;

const std::string kPhoto =
    std::string(FOTOSHUTTLE_CORPUS_DIR) + "/photos-unsplash/jon-tyson-FKkK1hnTe-Q-unsplash.jpg";

std::string ScratchFolder() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/fotoshuttle-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return folder;
}

// The 12-megapixel photograph (4032 x 3024), decoded once.
const Bitmap& Photo() {
    static const BitmapHandle photo = CPictureOperations().LoadPictureFile(kPhoto);
    return *photo;
}

using SaveRoutine = int (CPictureOperations::*)(const std::string&, const Bitmap*);

struct Format {
    const char* extension;
    SaveRoutine save;
};

constexpr Format kFormats[] = {
    {".bmp", &CPictureOperations::SaveAsBmp},  {".png", &CPictureOperations::SaveAsPng},
    {".jpg", &CPictureOperations::SaveAsJpeg}, {".gif", &CPictureOperations::SaveAsGif},
    {".tif", &CPictureOperations::SaveAsTiff},
};

// The photograph written once in each format, as the decoder's input.
const std::string& EncodedPhoto(int format) {
    static std::string paths[5];
    if (paths[format].empty()) {
        paths[format] = ScratchFolder() + "/photo" + kFormats[format].extension;
        CPictureOperations operations;
        (operations.*kFormats[format].save)(paths[format], &Photo());
    }
    return paths[format];
}

void SetMegapixelRate(benchmark::State& state, std::int64_t pixelsPerIteration) {
    state.counters["MP/s"] = benchmark::Counter(
        static_cast<double>(pixelsPerIteration) / 1e6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void BM_Decode(benchmark::State& state) {
    const std::string& path =
        state.range(0) == 5 ? kPhoto : EncodedPhoto(static_cast<int>(state.range(0)));
    CPictureOperations operations;
    std::int64_t pixels = 0;
    for (auto _ : state) {
        BitmapHandle bitmap = operations.LoadPictureFile(path);
        if (!bitmap) {
            state.SkipWithError("decode failed");
            return;
        }
        pixels = static_cast<std::int64_t>(bitmap->width) * bitmap->height;
        benchmark::DoNotOptimize(bitmap->pixels.get());
    }
    SetMegapixelRate(state, pixels);
}
// 0 bmp, 1 png, 2 jpeg (baseline, our own), 3 gif, 4 tiff, 5 the progressive original.
BENCHMARK(BM_Decode)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Encode(benchmark::State& state) {
    const Format& format = kFormats[state.range(0)];
    const std::string path = ScratchFolder() + "/encoded" + format.extension;
    CPictureOperations operations;
    for (auto _ : state) {
        if ((operations.*format.save)(path, &Photo()) != 1) {
            state.SkipWithError("save failed");
            return;
        }
    }
    SetMegapixelRate(state, static_cast<std::int64_t>(Photo().width) * Photo().height);
}
// Each save includes writing the file, fsync and the rename (in the system's /tmp).
BENCHMARK(BM_Encode)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Resize(benchmark::State& state) {
    BitmapHandle source = fotoshuttle::CreateBitmap(4000, 3000, 24);
    for (std::size_t i = 0; i < source->PixelBytes(); ++i) {
        source->pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    }
    const int newWidth = static_cast<int>(state.range(0));
    const int newHeight = static_cast<int>(state.range(1));
    CPictureOperations operations;
    for (auto _ : state) {
        BitmapHandle result = operations.ResizeBitmap(source.get(), newWidth, newHeight);
        benchmark::DoNotOptimize(result->pixels.get());
    }
    SetMegapixelRate(state, static_cast<std::int64_t>(newWidth) * newHeight);
}
BENCHMARK(BM_Resize)
    ->Args({800, 600})
    ->Args({8000, 6000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
