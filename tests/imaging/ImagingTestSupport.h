#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <string>

#include "imaging/Bitmap.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle::testing {

// Path of a file in the shared test picture suites.
std::string CorpusPath(const std::string& relative);

// A bitmap whose pixel at (x, y), y counted from the top, is colour(x, y) as 0xAARRGGBB.
BitmapHandle MakeBitmap(int width, int height, int bitsPerPixel,
                        const std::function<std::uint32_t(int x, int y)>& colour);
// A photo-like smooth picture with some detail, opaque.
BitmapHandle MakeGradientBitmap(int width, int height);

// Pixel at (x, y), y from the top, as 0xAARRGGBB.
std::uint32_t PixelAt(const Bitmap& bitmap, int x, int y);

// Largest difference of any colour channel (alpha included when withAlpha), or -1 when the
// sizes differ.
int MaxChannelDifference(const Bitmap& a, const Bitmap& b, bool withAlpha = true);

// Mean absolute difference of the colour channels (sizes must match).
double MeanChannelDifference(const Bitmap& a, const Bitmap& b);

// A picture decoded by Qt's own readers (an independent decoder), composed over the
// background the same way the loader does. Null when Qt cannot read the file.
BitmapHandle DecodeWithQt(const std::string& path, const BackgroundColor& background);
BitmapHandle BitmapFromQImage(const QImage& image, const BackgroundColor& background);

// Every name in a folder (files only), sorted.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace fotoshuttle::testing
