#include "tests/imaging/ImagingTestSupport.h"

#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fotoshuttle::testing {

std::string CorpusPath(const std::string& relative) {
    return std::string(FOTOSHUTTLE_CORPUS_DIR) + "/" + relative;
}

BitmapHandle MakeBitmap(int width, int height, int bitsPerPixel,
                        const std::function<std::uint32_t(int x, int y)>& colour) {
    BitmapHandle bitmap = CreateBitmap(width, height, bitsPerPixel);
    for (int y = 0; bitmap && y < height; ++y) {
        std::uint8_t* row = bitmap->TopDownRow(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t value = colour(x, y);
            std::memcpy(row + x * 4, &value, 4);
        }
    }
    return bitmap;
}

BitmapHandle MakeGradientBitmap(int width, int height) {
    return MakeBitmap(width, height, 24, [width, height](int x, int y) {
        const std::uint32_t r = static_cast<std::uint32_t>(x * 255 / std::max(1, width - 1));
        const std::uint32_t g = static_cast<std::uint32_t>(y * 255 / std::max(1, height - 1));
        const std::uint32_t b = static_cast<std::uint32_t>(((x / 16 + y / 16) % 2) * 64 + 96);
        return 0xFF000000u | (r << 16) | (g << 8) | b;
    });
}

std::uint32_t PixelAt(const Bitmap& bitmap, int x, int y) {
    std::uint32_t value;
    std::memcpy(&value, bitmap.TopDownRow(y) + x * 4, 4);
    return value;
}

int MaxChannelDifference(const Bitmap& a, const Bitmap& b, bool withAlpha) {
    if (a.width != b.width || a.height != b.height) {
        return -1;
    }
    int worst = 0;
    const std::size_t count = a.PixelBytes();
    for (std::size_t i = 0; i < count; ++i) {
        if (!withAlpha && i % 4 == 3) {
            continue;
        }
        worst = std::max(worst, std::abs(int{a.pixels[i]} - int{b.pixels[i]}));
    }
    return worst;
}

double MeanChannelDifference(const Bitmap& a, const Bitmap& b) {
    double total = 0;
    std::size_t counted = 0;
    for (std::size_t i = 0; i < a.PixelBytes(); ++i) {
        if (i % 4 != 3) {
            total += std::abs(int{a.pixels[i]} - int{b.pixels[i]});
            ++counted;
        }
    }
    return counted == 0 ? 0.0 : total / static_cast<double>(counted);
}

BitmapHandle BitmapFromQImage(const QImage& source, const BackgroundColor& background) {
    if (source.isNull()) {
        return nullptr;
    }
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    return MakeBitmap(image.width(), image.height(), 32, [&](int x, int y) {
        const QRgb rgba = image.pixel(x, y);
        std::uint8_t out[4];
        StoreRgbaOver(out, qRed(rgba), qGreen(rgba), qBlue(rgba), qAlpha(rgba), background);
        std::uint32_t value;
        std::memcpy(&value, out, 4);
        return value;
    });
}

BitmapHandle DecodeWithQt(const std::string& path, const BackgroundColor& background) {
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(false);
    return BitmapFromQImage(reader.read(), background);
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace fotoshuttle::testing
