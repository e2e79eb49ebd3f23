// Every file of every shared test picture suite through the loader and the whole conversion
// path: load, resize, save in all five formats, load the outputs back; then the suite's
// pictures through a real batch, where the files the suite expects to be refused must be
// logged and kept.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert/PictureNames.h"
#include "tests/convert/BatchConversionFixture.h"
#include "tests/hardening/ProcessMemory.h"

namespace fotoshuttle::testing {
namespace {

namespace fs = std::filesystem;
using Predicate = std::function<bool(const std::string& relative)>;

struct Suite {
    const char* folder;
    Predicate mustLoad;    // pictures the suite says are sound and that we decode
    Predicate mustRefuse;  // files the suite expects every decoder to refuse
};

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}
std::string BaseName(const std::string& relative) {
    return fs::path(relative).filename().string();
}
bool Never(const std::string&) {
    return false;
}

const Suite kSuites[] = {
    {"pngsuite",
     [](const std::string& r) {
         return !StartsWith(BaseName(r), "x") && fs::path(r).extension() == ".png";
     },
     [](const std::string& r) { return StartsWith(BaseName(r), "x"); }},
    {"png-pillow",
     [](const std::string& r) { return !StartsWith(r, "apng/") && BaseName(r) == "hopper.png"; },
     [](const std::string& r) {
         return r == "broken.png" || r == "truncated_image.png" || r == "truncated_end_chunk.png";
     }},
    {"bmpsuite", [](const std::string& r) { return StartsWith(r, "g/"); },
     [](const std::string& r) { return r == "b/reallybig.bmp" || r == "x/ba-bm.bmp"; }},
    {"gif-giflib", Never,
     [](const std::string& r) { return r == "malformed/cve-2019-15133-zero-height-treescap.gif"; }},
    {"gif-pillow", [](const std::string& r) { return r == "hopper.gif" || r == "chi.gif"; },
     [](const std::string& r) { return r == "decompression_bomb.gif" || r == "zero_width.gif"; }},
    {"gif-test-suite", [](const std::string& r) { return r.find(".gif") != std::string::npos; },
     Never},
    {"libtiff-pics", Never, Never},
    {"tiff-pillow", Never,
     [](const std::string& r) {
         // The crash-* reproductions only must not crash: libtiff reads two of them as
         // pictures today.
         return StartsWith(r, "oom-") || r == "libtiff_segfault.tif";
     }},
    {"jpeg-libjpeg-turbo",
     [](const std::string& r) {
         return r.find(".jpg") != std::string::npos && r != "monkey12.jpg" && r != "testimgari.jpg";
     },
     Never},
    {"jpeg-pillow", Never, Never},
    {"jpeg-exif-orientation",
     [](const std::string& r) { return r.find(".jpg") != std::string::npos; }, Never},
    {"photos-unsplash", [](const std::string& r) { return r.find(".jpg") != std::string::npos; },
     Never},
};

bool IsDocument(const std::string& relative) {
    const std::string ext = fs::path(relative).extension().string();
    return ext == ".md" || ext == ".markdown" || ext == ".txt" || ext == ".html" || ext == ".css" ||
           ext == ".ijg" || StartsWith(BaseName(relative), "README") ||
           BaseName(relative) == "LICENSE" || BaseName(relative) == "COPYING" ||
           BaseName(relative) == "checksums";
}

std::vector<std::string> SuiteFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            const std::string relative = fs::relative(entry.path(), folder).string();
            if (!IsDocument(relative)) {
                files.push_back(relative);
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string SuiteFolder(const char* suite) {
    return std::string(FOTOSHUTTLE_CORPUS_DIR) + "/" + suite;
}

// Longest a single file may take before it counts as a hang; far above any real need.
std::chrono::seconds HangBound() {
    return std::chrono::seconds(UnderSanitizer() ? 120 : 30);
}

// Largest difference of any channel of two pictures of one size; -1 when the sizes differ.
int MaxChannelDifferenceOf(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width || a.height != b.height) {
        return -1;
    }
    int largest = 0;
    for (std::size_t i = 0; i < a.PixelBytes(); ++i) {
        largest = std::max(largest, std::abs(int{a.pixels[i]} - int{b.pixels[i]}));
    }
    return largest;
}

class CorpusConversion : public ::testing::TestWithParam<Suite> {};

TEST_P(CorpusConversion, EveryFileLoadsOrIsRefusedAndEveryPictureSavesInAllFormats) {
    const Suite& suite = GetParam();
    const std::string folder = SuiteFolder(suite.folder);
    const std::vector<std::string> files = SuiteFiles(folder);
    ASSERT_FALSE(files.empty()) << folder;
    TempFolder out;
    CPictureOperations operations;
    using Save = int (CPictureOperations::*)(const std::string&, const Bitmap*);
    const std::pair<const char*, Save> formats[] = {{".bmp", &CPictureOperations::SaveAsBmp},
                                                    {".gif", &CPictureOperations::SaveAsGif},
                                                    {".jpg", &CPictureOperations::SaveAsJpeg},
                                                    {".png", &CPictureOperations::SaveAsPng},
                                                    {".tif", &CPictureOperations::SaveAsTiff}};
    int loaded = 0;
    for (const std::string& relative : files) {
        SCOPED_TRACE(relative);
        const auto started = std::chrono::steady_clock::now();
        BitmapHandle picture = operations.LoadPictureFile(folder + "/" + relative);
        if (suite.mustRefuse(relative)) {
            EXPECT_FALSE(picture) << "the suite expects this file to be refused";
        }
        if (suite.mustLoad(relative)) {
            EXPECT_TRUE(picture) << "the suite says this picture is sound";
        }
        if (picture) {
            ++loaded;
            // Odd sizes, one smaller and one larger than most pictures, so both directions run.
            const int newWidth = picture->width % 2 == 0 ? 97 : 301;
            const int newHeight = picture->height % 2 == 0 ? 263 : 61;
            BitmapHandle resized = operations.ResizeBitmap(picture.get(), newWidth, newHeight);
            ASSERT_TRUE(resized);
            for (const auto& [extension, save] : formats) {
                const std::string path = out / ("picture" + std::string(extension));
                ASSERT_EQ((operations.*save)(path, resized.get()), 1) << extension;
                BitmapHandle back = operations.LoadPictureFile(path);
                ASSERT_TRUE(back) << extension;
                EXPECT_EQ(back->width, newWidth) << extension;
                EXPECT_EQ(back->height, newHeight) << extension;
                const std::string ext = extension;
                if (ext == ".bmp" || ext == ".png" || ext == ".tif") {
                    // Lossless formats give back exactly what was saved.
                    EXPECT_EQ(MaxChannelDifferenceOf(*resized, *back), 0) << extension;
                }
            }
            // The picture unscaled, saved without loss, reads back as it was decoded.
            if (std::uint64_t(picture->width) * picture->height <= 4'000'000) {
                ASSERT_EQ(operations.SaveAsPng(out / "full.png", picture.get()), 1);
                BitmapHandle back = operations.LoadPictureFile(out / "full.png");
                ASSERT_TRUE(back);
                EXPECT_EQ(MaxChannelDifferenceOf(*picture, *back), 0);
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, HangBound());
    }
    std::printf("[ corpus   ] %s: %zu files tried, %d pictures converted in five formats\n",
                suite.folder, files.size(), loaded);
}

// The suite's picture files copied into an input folder under unique flat names, converted
// by one batch: every refused file gets its log line and stays, every sound one is converted
// and its source deleted, and the output folder holds nothing but finished pictures.
class CorpusBatch : public BatchConversionFixture, public ::testing::WithParamInterface<Suite> {};

TEST_P(CorpusBatch, LogsAndKeepsEveryRefusedFileAndConvertsTheRest) {
    const Suite& suite = GetParam();
    const std::string folder = SuiteFolder(suite.folder);
    const char* formats[] = {".png", ".jpg", ".tif", ".gif", ".bmp"};
    std::size_t index = 0;
    while (std::strcmp(kSuites[index].folder, suite.folder) != 0) {
        ++index;
    }
    const char* format = formats[index % 5];
    struct Copy {
        std::string relative;
        std::string entry;
        std::string output;
    };
    std::vector<Copy> copies;
    for (const std::string& relative : SuiteFiles(folder)) {
        std::string entry = relative;
        std::replace(entry.begin(), entry.end(), '/', '_');
        std::replace(entry.begin(), entry.end(), '.', '_');
        entry += fs::path(relative).extension().string();
        if (!IsEligibleEntry(entry)) {
            continue;
        }
        fs::copy_file(folder + "/" + relative, In(entry));
        ::chmod(In(entry).c_str(), 0644);
        copies.push_back({relative, entry, OutputEntryName(entry, format)});
    }
    ASSERT_FALSE(copies.empty());

    BatchSummary summary = RunBatch(Options(format));

    const std::string log = Log();
    std::vector<std::string> expectedOutputs;
    for (const Copy& copy : copies) {
        SCOPED_TRACE(copy.relative);
        const bool kept = Exists(In(copy.entry));
        const bool converted = Exists(Out(copy.output));
        EXPECT_NE(kept, converted) << "a source goes only once its picture is out";
        if (kept) {
            EXPECT_NE(log.find(NotConvertedLine(copy.output)), std::string::npos);
        } else {
            expectedOutputs.push_back(copy.output);
            EXPECT_NE(PictureSize(Out(copy.output)), (std::pair{0, 0}));
        }
        if (suite.mustRefuse(copy.relative)) {
            EXPECT_TRUE(kept);
        }
        if (suite.mustLoad(copy.relative)) {
            EXPECT_TRUE(converted);
        }
    }
    std::sort(expectedOutputs.begin(), expectedOutputs.end());
    EXPECT_EQ(AllNames(m_out), expectedOutputs) << "no temporary or partial file stays";
    EXPECT_EQ(summary.converted, static_cast<int>(expectedOutputs.size()));
    std::printf("[ corpus   ] %s batch to %s: %zu files, %d converted, %d logged and kept\n",
                suite.folder, format, copies.size(), summary.converted, summary.notConverted);
}

std::string SuiteName(const ::testing::TestParamInfo<Suite>& info) {
    std::string name = info.param.folder;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}
INSTANTIATE_TEST_SUITE_P(Suites, CorpusConversion, ::testing::ValuesIn(kSuites), SuiteName);
INSTANTIATE_TEST_SUITE_P(Suites, CorpusBatch, ::testing::ValuesIn(kSuites), SuiteName);

}  // namespace
}  // namespace fotoshuttle::testing
