#include "tests/convert/ConversionTestSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace fotoshuttle::testing {

void RecordingObserver::EnterBusy(bool keepConvertNowEnabled) {
    calls.push_back(keepConvertNowEnabled ? "busy+convert-now" : "busy");
}

void RecordingObserver::ShowSourceListing(const std::vector<std::string>& entries) {
    calls.push_back("src");
    sourceListings.push_back(entries);
    if (afterSourceListing) {
        afterSourceListing(sourceListings.size() - 1);
    }
}

void RecordingObserver::ShowOutputListing(const std::vector<std::string>& entries) {
    calls.push_back("dst");
    outputListings.push_back(entries);
}

void RecordingObserver::RestoreControlState() {
    calls.push_back("restore");
}

ChoiceControls RecordingObserver::ReadChoiceControls() {
    calls.push_back("choices");
    return controls;
}

void WritePicture(const std::string& path, int width, int height) {
    BitmapHandle bitmap = CreateBitmap(width, height, 24);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->TopDownRow(y);
        for (int x = 0; x < width; ++x) {
            row[x * 4 + 0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            row[x * 4 + 1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            row[x * 4 + 2] = static_cast<std::uint8_t>((x + y) & 0xFF);
            row[x * 4 + 3] = 255;
        }
    }
    CPictureOperations operations;
    const std::string extension = path.substr(path.rfind('.'));
    int written = 0;
    if (extension == ".bmp") {
        written = operations.SaveAsBmp(path, bitmap.get());
    } else if (extension == ".png") {
        written = operations.SaveAsPng(path, bitmap.get());
    } else if (extension == ".gif") {
        written = operations.SaveAsGif(path, bitmap.get());
    } else if (extension == ".tif") {
        written = operations.SaveAsTiff(path, bitmap.get());
    } else {
        written = operations.SaveAsJpeg(path, bitmap.get());
    }
    if (written != 1) {
        std::abort();
    }
}

std::pair<int, int> PictureSize(const std::string& path) {
    CPictureOperations operations;
    BitmapHandle bitmap = operations.LoadPictureFile(path);
    return bitmap ? std::pair{bitmap->width, bitmap->height} : std::pair{0, 0};
}

std::vector<std::string> AllNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SetFileTimes(const std::string& path, long seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

long ModificationSeconds(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_mtim.tv_sec) : -1;
}

}  // namespace fotoshuttle::testing
