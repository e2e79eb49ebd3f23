// The engine's half of bench/compare: converts the given pictures one after another in this
// process, as a batch does (load, optional resize, save with fsync and rename), and prints
// the wall time of the whole run and the bytes written. With --batch the pictures are copied
// into a folder beside the output folder first and converted by a real batch over it (keep
// choice, no delay), reading one picture at a time or the next one ahead.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bench/SilentObserver.h"
#include "convert/BatchConversion.h"
#include "imaging/PictureOperations.h"

namespace {

using fotoshuttle::BitmapHandle;
using fotoshuttle::CPictureOperations;

using SaveRoutine = int (CPictureOperations::*)(const std::string&, const fotoshuttle::Bitmap*);

struct OutputFormat {
    const char* name;
    const char* extension;
    SaveRoutine save;
};

constexpr OutputFormat kOutputFormats[] = {
    {"bmp", ".bmp", &CPictureOperations::SaveAsBmp},
    {"png", ".png", &CPictureOperations::SaveAsPng},
    {"jpg", ".jpg", &CPictureOperations::SaveAsJpeg},
    {"gif", ".gif", &CPictureOperations::SaveAsGif},
    {"tif", ".tif", &CPictureOperations::SaveAsTiff},
};

std::string Stem(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: compare_engine FORMAT(bmp|png|jpg|gif|tif) OUTPUT_FOLDER [--resize WxH] "
                 "[--batch one|ahead] PICTURE...\n");
    return 2;
}

struct BatchRun {
    bool ahead = false;
    std::string sourceFolder;
    std::string logPath;
};

// Copies the pictures into the batch's input folder; false when that fails.
bool PrepareBatch(const BatchRun& run, const std::vector<std::string>& inputs) {
    std::error_code error;
    std::filesystem::remove_all(run.sourceFolder, error);
    std::filesystem::create_directories(run.sourceFolder, error);
    for (const std::string& input : inputs) {
        const std::filesystem::path target =
            std::filesystem::path(run.sourceFolder) / std::filesystem::path(input).filename();
        if (!std::filesystem::copy_file(input, target, error)) {
            return false;
        }
    }
    std::FILE* log = std::fopen(run.logPath.c_str(), "w");
    return log != nullptr && std::fclose(log) == 0;
}

// The number of pictures the batch converted.
int RunBatch(const BatchRun& run, const OutputFormat& format, const std::string& folder,
             int newWidth, int newHeight) {
    CPictureOperations operations;
    fotoshuttle::SilentObserver observer;
    fotoshuttle::BatchSettings settings;
    settings.sourceFolder = run.sourceFolder;
    settings.outputFolder = folder;
    settings.options.format = format.extension;
    settings.options.after = "nodel";
    if (newWidth > 0) {
        settings.options.resize = "change";
        settings.options.width = newWidth;
        settings.options.height = newHeight;
    }
    settings.delay = std::chrono::milliseconds(0);
    settings.logPath = run.logPath;
    settings.decodeAhead = run.ahead;
    fotoshuttle::BatchConverter converter(operations, observer, settings);
    return converter.RunBatch().converted;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        return Usage();
    }
    const OutputFormat* format = nullptr;
    for (const OutputFormat& candidate : kOutputFormats) {
        if (std::strcmp(candidate.name, argv[1]) == 0) {
            format = &candidate;
        }
    }
    if (format == nullptr) {
        return Usage();
    }
    const std::string folder = argv[2];
    int first = 3;
    int newWidth = 0, newHeight = 0;
    std::optional<BatchRun> batch;
    while (first < argc && std::strncmp(argv[first], "--", 2) == 0) {
        if (std::strcmp(argv[first], "--resize") == 0 && first + 1 < argc &&
            std::sscanf(argv[first + 1], "%dx%d", &newWidth, &newHeight) == 2) {
            first += 2;
        } else if (std::strcmp(argv[first], "--batch") == 0 && first + 1 < argc &&
                   (std::strcmp(argv[first + 1], "one") == 0 ||
                    std::strcmp(argv[first + 1], "ahead") == 0)) {
            batch = BatchRun{std::strcmp(argv[first + 1], "ahead") == 0, folder + "-in",
                             folder + "-log.txt"};
            first += 2;
        } else {
            return Usage();
        }
    }
    if (first >= argc) {
        return Usage();
    }
    std::vector<std::string> inputs(argv + first, argv + argc);
    if (batch && !PrepareBatch(*batch, inputs)) {
        std::fprintf(stderr, "cannot copy the pictures into %s\n", batch->sourceFolder.c_str());
        return 1;
    }
    CPictureOperations operations;
    long long bytes = 0;
    long long pixels = 0;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    if (batch) {
        failures = static_cast<int>(inputs.size()) -
                   RunBatch(*batch, *format, folder, newWidth, newHeight);
    } else {
        for (const std::string& input : inputs) {
            BitmapHandle picture = operations.LoadPictureFile(input);
            if (picture) {
                pixels += static_cast<long long>(picture->width) * picture->height;
            }
            if (newWidth > 0) {
                picture = operations.ResizeBitmap(picture.get(), newWidth, newHeight);
            }
            const std::string output = folder + "/" + Stem(input) + format->extension;
            failures += (operations.*format->save)(output, picture.get()) == 1 ? 0 : 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code listingError;
    for (const auto& output : std::filesystem::directory_iterator(folder, listingError)) {
        std::error_code error;
        const auto size = output.file_size(error);
        bytes += error ? 0 : static_cast<long long>(size);
    }
    if (batch) {
        std::error_code error;
        std::filesystem::remove_all(batch->sourceFolder, error);
        std::filesystem::remove(batch->logPath, error);
    }
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("pictures %zu failures %d seconds %.6f bytes %lld pixels %lld maxrss_kib %ld\n",
                inputs.size(), failures, seconds, bytes, pixels, usage.ru_maxrss);
    return failures == 0 ? 0 : 1;
}
