#include "imaging/codecs/GifCodec.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/codecs/ExactPalette.h"
#include "imaging/codecs/PaletteRemap.h"

namespace fotoshuttle {

namespace {

constexpr int kGraphicsControlExtension = 0xF9;
constexpr int kMaxGifSide = 65535;

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
    bool ranOut;  // a read asked for more than was left
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const std::size_t available = reader->size - reader->position;
    const std::size_t count = std::min(available, static_cast<std::size_t>(length));
    reader->ranOut = reader->ranOut || count < static_cast<std::size_t>(length);
    std::memcpy(buffer, reader->data + reader->position, count);
    reader->position += count;
    return static_cast<int>(count);
}

int WriteToOutput(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<OutputFile*>(gif->UserData);
    return length >= 0 && out->Write(data, static_cast<std::size_t>(length)) ? length : 0;
}

struct GifDecoderCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifDecoder = std::unique_ptr<GifFileType, GifDecoderCloser>;

LoadStatus StatusFromGif(const GifFileType* gif) {
    const int error = gif->Error;
    switch (error) {
        case D_GIF_ERR_READ_FAILED:
        case D_GIF_ERR_EOF_TOO_SOON:
            // Only when the data really ran out: giflib also says this of codes it rejects.
            return static_cast<const MemoryReader*>(gif->UserData)->ranOut ? LoadStatus::Truncated
                                                                           : LoadStatus::Damaged;
        case D_GIF_ERR_NOT_GIF_FILE:
            return LoadStatus::NotAPicture;
        case D_GIF_ERR_NOT_ENOUGH_MEM:
            return LoadStatus::OutOfMemory;
        default:
            return LoadStatus::Damaged;
    }
}

// Reads past the first frame's remaining records up to the trailer, so a file cut short
// anywhere counts as truncated.
LoadStatus SkipCodeBlocks(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) {
        return StatusFromGif(gif);
    }
    while (block != nullptr) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) {
            return StatusFromGif(gif);
        }
    }
    return LoadStatus::Ok;
}

LoadStatus DrawFirstFrame(GifFileType* gif, int transparentIndex, Bitmap& canvas) {
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) {
        return LoadStatus::Damaged;
    }
    if (!IsAcceptablePictureSize(static_cast<std::uint64_t>(frame.Width),
                                 static_cast<std::uint64_t>(frame.Height))) {
        return LoadStatus::TooLarge;
    }
    const ColorMapObject* map = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
    std::uint8_t palette[256][4];
    for (int i = 0; i < 256; ++i) {
        // Without any colour table the indices are taken as grey levels.
        std::uint8_t r = static_cast<std::uint8_t>(i), g = r, b = r;
        if (map != nullptr) {
            if (i < map->ColorCount) {
                r = map->Colors[i].Red;
                g = map->Colors[i].Green;
                b = map->Colors[i].Blue;
            } else {
                r = g = b = 0;
            }
        }
        palette[i][0] = b;
        palette[i][1] = g;
        palette[i][2] = r;
        palette[i][3] = 255;
    }
    std::unique_ptr<GifPixelType[]> line(new (std::nothrow) GifPixelType[frame.Width]);
    if (!line) {
        return LoadStatus::OutOfMemory;
    }
    static constexpr int kPassStart[4] = {0, 4, 2, 1};
    static constexpr int kPassStep[4] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    const int visibleWidth =
        std::max(0, std::min(frame.Width, canvas.width - std::min(frame.Left, canvas.width)));
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kPassStart[pass] : 0;
        const int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < frame.Height; row += step) {
            if (DGifGetLine(gif, line.get(), frame.Width) == GIF_ERROR) {
                return StatusFromGif(gif);
            }
            const int y = frame.Top + row;
            if (y >= canvas.height || visibleWidth == 0) {
                continue;
            }
            std::uint8_t* out = canvas.TopDownRow(y) + static_cast<std::size_t>(frame.Left) * 4;
            for (int x = 0; x < visibleWidth; ++x, out += 4) {
                const int index = line[x];
                if (index != transparentIndex) {
                    std::memcpy(out, palette[index], 4);
                }
            }
        }
    }
    return LoadStatus::Ok;
}

void FillWithBackground(Bitmap& canvas, const BackgroundColor& background) {
    const std::uint8_t pixel[4] = {background.blue, background.green, background.red, 255};
    std::uint8_t* row = canvas.MemoryRow(0);
    for (int x = 0; x < canvas.width; ++x) {
        std::memcpy(row + x * 4, pixel, 4);
    }
    for (int y = 1; y < canvas.height; ++y) {
        std::memcpy(canvas.MemoryRow(y), row, canvas.RowBytes());
    }
}

struct LiqAttrDeleter {
    void operator()(liq_attr* attr) const { liq_attr_destroy(attr); }
};
struct LiqImageDeleter {
    void operator()(liq_image* image) const { liq_image_destroy(image); }
};
struct LiqResultDeleter {
    void operator()(liq_result* result) const { liq_result_destroy(result); }
};

void ReadRowForQuantizer(liq_color rowOut[], int row, int width, void* user) {
    const auto* bitmap = static_cast<const Bitmap*>(user);
    const std::uint8_t* in = bitmap->TopDownRow(row);
    for (int x = 0; x < width; ++x, in += 4) {
        rowOut[x] = liq_color{in[2], in[1], in[0], 255};
    }
}

// Reads the records after the screen descriptor, drawing the first frame into canvas.
LoadStatus ReadRecords(GifFileType* gif, const BackgroundColor& background, BitmapHandle& canvas) {
    int transparentIndex = -1;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) {
            return StatusFromGif(gif);
        }
        if (record == TERMINATE_RECORD_TYPE) {
            return LoadStatus::Ok;
        }
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* extension = nullptr;
            if (DGifGetExtension(gif, &code, &extension) == GIF_ERROR) {
                return StatusFromGif(gif);
            }
            if (!canvas && code == kGraphicsControlExtension && extension != nullptr &&
                extension[0] >= 4) {
                transparentIndex = (extension[1] & 0x01) != 0 ? extension[4] : -1;
            }
            while (extension != nullptr) {
                if (DGifGetExtensionNext(gif, &extension) == GIF_ERROR) {
                    return StatusFromGif(gif);
                }
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) {
            return LoadStatus::Damaged;
        }
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            return StatusFromGif(gif);
        }
        if (canvas) {
            const LoadStatus skipped = SkipCodeBlocks(gif);
            if (skipped != LoadStatus::Ok) {
                return skipped;
            }
            continue;
        }
        BitmapHandle frame = CreateBitmap(gif->SWidth, gif->SHeight, 8);
        if (!frame) {
            return LoadStatus::OutOfMemory;
        }
        FillWithBackground(*frame, background);
        const LoadStatus drawn = DrawFirstFrame(gif, transparentIndex, *frame);
        if (drawn != LoadStatus::Ok) {
            return drawn;
        }
        canvas = std::move(frame);
    }
}

// A palette of at most 256 colours from libimagequant, then our own error diffusion:
// libimagequant's dithered remapping takes eight times as long.
bool QuantizeWithDithering(const Bitmap& bitmap, GifColorType* colors, unsigned& colorCount,
                           std::uint8_t* indices) {
    std::unique_ptr<liq_attr, LiqAttrDeleter> attr(liq_attr_create());
    // Speed 10 quantizes in a third of the default's time at the same file size.
    if (!attr || liq_set_max_colors(attr.get(), 256) != LIQ_OK ||
        liq_set_speed(attr.get(), 10) != LIQ_OK) {
        return false;
    }
    std::unique_ptr<liq_image, LiqImageDeleter> image(
        liq_image_create_custom(attr.get(), ReadRowForQuantizer, const_cast<Bitmap*>(&bitmap),
                                bitmap.width, bitmap.height, 0));
    if (!image) {
        return false;
    }
    liq_result* rawResult = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK) {
        return false;
    }
    std::unique_ptr<liq_result, LiqResultDeleter> result(rawResult);
    const liq_palette* palette = liq_get_palette(result.get());
    if (palette == nullptr || palette->count == 0 || palette->count > 256) {
        return false;
    }
    PaletteColor entries[256] = {};
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& color = palette->entries[i];
        colors[i] = GifColorType{color.r, color.g, color.b};
        entries[i] = PaletteColor{color.r, color.g, color.b};
    }
    colorCount = palette->count;
    return RemapWithDithering(bitmap, entries, static_cast<int>(palette->count), indices);
}

}  // namespace

bool LooksLikeGif(const std::uint8_t* data, std::size_t size) {
    return size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

LoadResult DecodeGif(const std::uint8_t* data, std::size_t size,
                     const BackgroundColor& background) {
    MemoryReader reader{data, size, 0, false};
    int error = 0;
    GifDecoder gif(DGifOpen(&reader, ReadFromMemory, &error));
    if (!gif) {
        // giflib does not always say why; a header or colour table cut short is the usual one.
        std::size_t headerBytes = 13;
        if (size >= 11 && (data[10] & 0x80) != 0) {
            headerBytes += 3u << ((data[10] & 0x07) + 1);
        }
        if (size < headerBytes || reader.ranOut) {
            return LoadFailure(LoadStatus::Truncated);
        }
        return LoadFailure(error == D_GIF_ERR_NOT_ENOUGH_MEM ? LoadStatus::OutOfMemory
                                                             : LoadStatus::Damaged);
    }
    if (gif->SWidth <= 0 || gif->SHeight <= 0) {
        return LoadFailure(LoadStatus::Damaged);
    }
    if (!IsAcceptablePictureSize(static_cast<std::uint64_t>(gif->SWidth),
                                 static_cast<std::uint64_t>(gif->SHeight))) {
        return LoadFailure(LoadStatus::TooLarge);
    }
    BitmapHandle canvas;
    const LoadStatus status = ReadRecords(gif.get(), background, canvas);
    // Damage after a complete first frame does not spoil it; running out of data does, as
    // the rest of the file may still be on its way.
    if (canvas && (status == LoadStatus::Ok || status == LoadStatus::Damaged)) {
        return LoadResult{std::move(canvas), LoadStatus::Ok};
    }
    return LoadFailure(status == LoadStatus::Ok ? LoadStatus::Damaged : status);
}

bool EncodeGif(const Bitmap& bitmap, OutputFile& out) {
    if (bitmap.width > kMaxGifSide || bitmap.height > kMaxGifSide) {
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(bitmap.width) * bitmap.height;
    std::unique_ptr<std::uint8_t[]> indices(new (std::nothrow) std::uint8_t[count]);
    auto exact = std::unique_ptr<ExactPalette>(new (std::nothrow) ExactPalette);
    if (!indices || !exact) {
        return false;
    }
    GifColorType colors[256] = {};
    unsigned colorCount = 0;
    // A picture of at most 256 colours keeps them exactly; others are quantized.
    if (IndexExactColors(bitmap, indices.get(), static_cast<std::size_t>(bitmap.width), *exact)) {
        colorCount = static_cast<unsigned>(exact->Count());
        for (unsigned i = 0; i < colorCount; ++i) {
            const std::uint32_t rgb = exact->Color(static_cast<int>(i));
            colors[i] =
                GifColorType{static_cast<GifByteType>(rgb >> 16),
                             static_cast<GifByteType>(rgb >> 8), static_cast<GifByteType>(rgb)};
        }
    } else if (!QuantizeWithDithering(bitmap, colors, colorCount, indices.get())) {
        return false;
    }
    // A GIF colour table has a power-of-two size (at least 2); the rest stays black.
    const int tableSize = 1 << GifBitSize(static_cast<int>(std::max(2u, colorCount)));
    ColorMapObject* map = GifMakeMapObject(tableSize, colors);
    if (map == nullptr) {
        return false;
    }
    int error = 0;
    GifFileType* gif = EGifOpen(&out, WriteToOutput, &error);
    bool ok = gif != nullptr;
    ok = ok && EGifPutScreenDesc(gif, bitmap.width, bitmap.height, 8, 0, map) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, 0, 0, bitmap.width, bitmap.height, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < bitmap.height; ++y) {
        ok = EGifPutLine(gif, indices.get() + static_cast<std::size_t>(y) * bitmap.width,
                         bitmap.width) == GIF_OK;
    }
    if (gif != nullptr && EGifCloseFile(gif, &error) == GIF_ERROR) {
        ok = false;
    }
    GifFreeMapObject(map);
    return ok && !out.Failed();
}

}  // namespace fotoshuttle
