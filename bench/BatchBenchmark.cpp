// A batch over a folder of N pictures, no delay, keep choice (so every iteration converts the
// same folder again). Reports pictures and megapixels per second for the main format pairs;
// JPEG inputs are read ahead on the second core unless the name says one_at_a_time.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/SilentObserver.h"
#include "convert/BatchConversion.h"
#include "platform/MessageBoxService.h"

namespace fotoshuttle {
namespace {

constexpr int kPictures = 8;
constexpr int kWidth = 1920;
constexpr int kHeight = 1280;

// A real photograph scaled to the benchmark's size, so every codec sees photographic content.
const Bitmap& Photograph() {
    static BitmapHandle picture = [] {
        CPictureOperations operations;
        BitmapHandle photo = operations.LoadPictureFile(
            FOTOSHUTTLE_CORPUS_DIR "/photos-unsplash/jon-tyson-FKkK1hnTe-Q-unsplash.jpg");
        if (!photo) {
            std::fprintf(stderr, "the corpus photograph did not load\n");
            std::abort();
        }
        return operations.ResizeBitmap(photo.get(), kWidth, kHeight);
    }();
    return *picture;
}

int SaveAs(CPictureOperations& operations, const std::string& format, const std::string& path) {
    if (format == ".bmp")
        return operations.SaveAsBmp(path, &Photograph());
    if (format == ".png")
        return operations.SaveAsPng(path, &Photograph());
    if (format == ".gif")
        return operations.SaveAsGif(path, &Photograph());
    if (format == ".tif")
        return operations.SaveAsTiff(path, &Photograph());
    return operations.SaveAsJpeg(path, &Photograph());
}

struct Workspace {
    std::string root;
    std::string in;
    std::string out;
    std::string log;

    explicit Workspace(const std::string& sourceFormat) {
        char pattern[] = "/tmp/fotoshuttle-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        in = root + "/in";
        out = root + "/out";
        log = root + "/Fotoshuttle_log.txt";
        ::mkdir(in.c_str(), 0755);
        ::mkdir(out.c_str(), 0755);
        std::fclose(std::fopen(log.c_str(), "w"));
        CPictureOperations operations;
        for (int i = 0; i < kPictures; ++i) {
            SaveAs(operations, sourceFormat, in + "/picture" + std::to_string(i) + sourceFormat);
        }
    }
    ~Workspace() { std::filesystem::remove_all(root); }
};

void BM_Batch(benchmark::State& state, const std::string& from, const std::string& to,
              bool decodeAhead = true) {
    Workspace workspace(from);
    CPictureOperations operations;
    SilentObserver observer;
    BatchSettings settings;
    settings.sourceFolder = workspace.in;
    settings.outputFolder = workspace.out;
    settings.options.format = to;
    settings.options.after = "nodel";
    settings.delay = std::chrono::milliseconds(0);
    settings.logPath = workspace.log;
    settings.decodeAhead = decodeAhead;
    int converted = 0;
    for (auto _ : state) {
        BatchConverter converter(operations, observer, settings);
        converted += converter.RunBatch().converted;
    }
    if (converted != kPictures * static_cast<int>(state.iterations())) {
        state.SkipWithError("not every picture was converted");
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(converted), benchmark::Counter::kIsRate);
    state.counters["MP/s"] =
        benchmark::Counter(converted * (kWidth * kHeight / 1e6), benchmark::Counter::kIsRate);
}

// The same pictures loaded and saved directly, without the batch around them: the difference to
// jpg_to_jpg is what listing, parking, renaming and the checks of the batch cost.
void BM_LoadAndSaveOnly(benchmark::State& state) {
    Workspace workspace(".jpg");
    CPictureOperations operations;
    int converted = 0;
    for (auto _ : state) {
        for (int i = 0; i < kPictures; ++i) {
            const std::string name = "/picture" + std::to_string(i);
            BitmapHandle picture = operations.LoadPictureFile(workspace.in + name + ".jpg");
            converted += operations.SaveAsJpeg(workspace.out + name + ".jpg", picture.get());
        }
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(converted), benchmark::Counter::kIsRate);
    state.counters["MP/s"] =
        benchmark::Counter(converted * (kWidth * kHeight / 1e6), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadAndSaveOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_CAPTURE(BM_Batch, jpg_to_jpg, ".jpg", ".jpg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, jpg_to_jpg_one_at_a_time, ".jpg", ".jpg", false)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, jpg_to_png, ".jpg", ".png")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, jpg_to_bmp, ".jpg", ".bmp")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, jpg_to_tif, ".jpg", ".tif")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, jpg_to_gif, ".jpg", ".gif")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, png_to_jpg, ".png", ".jpg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, bmp_to_jpg, ".bmp", ".jpg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, tif_to_jpg, ".tif", ".jpg")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Batch, gif_to_png, ".gif", ".png")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace fotoshuttle

BENCHMARK_MAIN();
