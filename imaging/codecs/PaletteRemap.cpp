#include "imaging/codecs/PaletteRemap.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace fotoshuttle {

namespace {

constexpr int kCellBits = 6;
constexpr int kCells = 1 << (3 * kCellBits);
// Cell entries hold index + 1, so 16 bits: index 255 of a full palette would wrap to "unknown".
using Cell = std::uint16_t;
constexpr Cell kUnknown = 0;

class NearestColorCache {
  public:
    NearestColorCache(const PaletteColor* palette, int count, Cell* cells)
        : m_palette(palette), m_count(count), m_cells(cells) {}

    int Lookup(int r, int g, int b) {
        const int cell = ((r >> 2) << (2 * kCellBits)) | ((g >> 2) << kCellBits) | (b >> 2);
        if (m_cells[cell] == kUnknown) {
            m_cells[cell] = static_cast<Cell>(Nearest(r | 2, g | 2, b | 2) + 1);
        }
        return m_cells[cell] - 1;
    }

  private:
    int Nearest(int r, int g, int b) const {
        int best = 0;
        int bestDistance = 1 << 30;
        for (int i = 0; i < m_count; ++i) {
            const int dr = r - m_palette[i].r, dg = g - m_palette[i].g, db = b - m_palette[i].b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        return best;
    }

    const PaletteColor* m_palette;
    int m_count;
    Cell* m_cells;
};

inline int Clamp(int value) {
    return value < 0 ? 0 : value > 255 ? 255 : value;
}

}  // namespace

bool RemapWithDithering(const Bitmap& bitmap, const PaletteColor* palette, int count,
                        std::uint8_t* indices) {
    if (count < 1 || count > 256) {
        return false;
    }
    const int width = bitmap.width;
    // Errors in 1/16 units for the current and the next row, with one spare column each side.
    const std::size_t errorValues = (static_cast<std::size_t>(width) + 2) * 3;
    std::unique_ptr<int[]> errors(new (std::nothrow) int[errorValues * 2]);
    std::unique_ptr<Cell[]> cells(new (std::nothrow) Cell[kCells]);
    if (!errors || !cells) {
        return false;
    }
    std::fill(cells.get(), cells.get() + kCells, kUnknown);
    std::fill(errors.get(), errors.get() + errorValues * 2, 0);
    NearestColorCache cache(palette, count, cells.get());
    int* current = errors.get();
    int* next = errors.get() + errorValues;
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* in = bitmap.TopDownRow(y);
        std::uint8_t* out = indices + static_cast<std::size_t>(y) * width;
        const bool forward = (y & 1) == 0;
        const int step = forward ? 1 : -1;
        std::fill(next, next + errorValues, 0);
        for (int n = 0; n < width; ++n) {
            const int x = forward ? n : width - 1 - n;
            const std::uint8_t* pixel = in + 4 * x;
            int* here = current + 3 * (x + 1);
            // Errors are damped to 7/8 so they cannot build up across flat areas.
            const int r = Clamp(pixel[2] + (here[0] * 7 >> 7));
            const int g = Clamp(pixel[1] + (here[1] * 7 >> 7));
            const int b = Clamp(pixel[0] + (here[2] * 7 >> 7));
            const int index = cache.Lookup(r, g, b);
            out[x] = static_cast<std::uint8_t>(index);
            const int er = r - palette[index].r;
            const int eg = g - palette[index].g;
            const int eb = b - palette[index].b;
            int* ahead = here + 3 * step;
            int* below = next + 3 * (x + 1);
            int* belowBehind = below - 3 * step;
            int* belowAhead = below + 3 * step;
            const int e[3] = {er, eg, eb};
            for (int c = 0; c < 3; ++c) {
                ahead[c] += e[c] * 7;
                belowBehind[c] += e[c] * 3;
                below[c] += e[c] * 5;
                belowAhead[c] += e[c];
            }
        }
        std::swap(current, next);
    }
    return true;
}

}  // namespace fotoshuttle
