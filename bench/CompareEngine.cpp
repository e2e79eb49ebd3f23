// The engine's half of bench/compare: converts the given pictures one after another in this
// process, as a batch does (load, optional resize, save with fsync and rename), and prints
// the wall time of the whole run and the bytes written.
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
                 "PICTURE...\n");
    return 2;
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
    if (std::strcmp(argv[3], "--resize") == 0) {
        if (argc < 6 || std::sscanf(argv[4], "%dx%d", &newWidth, &newHeight) != 2) {
            return Usage();
        }
        first = 5;
    }
    std::vector<std::string> inputs(argv + first, argv + argc);
    CPictureOperations operations;
    long long bytes = 0;
    long long pixels = 0;
    int failures = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& input : inputs) {
        BitmapHandle picture = operations.LoadPictureFile(input);
        if (picture) {
            pixels += static_cast<long long>(picture->width) * picture->height;
        }
        if (newWidth > 0) {
            picture = operations.ResizeBitmap(picture.get(), newWidth, newHeight);
        }
        const std::string output = folder + "/" + Stem(input) + format->extension;
        if ((operations.*format->save)(output, picture.get()) != 1) {
            ++failures;
            continue;
        }
        struct stat info {};
        if (::stat(output.c_str(), &info) == 0) {
            bytes += info.st_size;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("pictures %zu failures %d seconds %.6f bytes %lld pixels %lld maxrss_kib %ld\n",
                inputs.size(), failures, seconds, bytes, pixels, usage.ru_maxrss);
    return failures == 0 ? 0 : 1;
}
