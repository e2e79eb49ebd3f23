#include "imaging/codecs/TiffCodec.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/RowConversion.h"
#include "imaging/codecs/LzwEncoder.h"

namespace fotoshuttle {

namespace {

// Beyond the largest picture's pixels, so a legitimate single-strip picture still reads.
constexpr tmsize_t kMaxSingleAllocation =
    static_cast<tmsize_t>(kMaxPicturePixels * 4 + (std::uint64_t{64} << 20));

struct MemoryFile {
    const std::uint8_t* data;
    std::uint64_t size;
    std::uint64_t position;
};

tmsize_t ReadMemory(thandle_t handle, void* buffer, tmsize_t length) {
    auto* file = static_cast<MemoryFile*>(handle);
    if (length <= 0 || file->position >= file->size) {
        return 0;
    }
    const std::uint64_t count =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(length), file->size - file->position);
    std::memcpy(buffer, file->data + file->position, count);
    file->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t RefuseWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t SeekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = file->position;
    } else if (whence == SEEK_END) {
        base = file->size;
    }
    // Seeking past the end is allowed; reads there return nothing.
    file->position = base + offset;
    return file->position;
}

int CloseNothing(thandle_t) {
    return 0;
}
toff_t SizeOfMemory(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->size;
}

int MapMemory(thandle_t handle, void** base, toff_t* size) {
    auto* file = static_cast<MemoryFile*>(handle);
    *base = const_cast<std::uint8_t*>(file->data);
    *size = file->size;
    return 1;
}
void UnmapNothing(thandle_t, void*, toff_t) {}

// libtiff's messages would go to stderr; a failure is told by the results instead.
int IgnoreMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

struct OpenOptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::unique_ptr<TIFFOpenOptions, OpenOptionsDeleter> QuietOptions() {
    std::unique_ptr<TIFFOpenOptions, OpenOptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (options) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAllocation);
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), IgnoreMessage, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), IgnoreMessage, nullptr);
    }
    return options;
}

std::uint64_t ReadUnsigned(const std::uint8_t* p, int bytes, bool bigEndian) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = bigEndian ? (bytes - 1 - i) * 8 : i * 8;
        value |= std::uint64_t{p[i]} << shift;
    }
    return value;
}

std::uint64_t TiffTypeSize(std::uint64_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;
        case 3:
        case 8:
            return 2;
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;
        case 5:
        case 10:
        case 12:
        case 16:
        case 17:
        case 18:
            return 8;
        default:
            return 0;  // unknown types are skipped by libtiff too
    }
}

// Whether the first directory and every value it points to lie inside the file. Writers
// often put the directory last, so a file still being copied usually fails here first.
bool FirstDirectoryInside(const std::uint8_t* data, std::size_t size) {
    const bool bigEndian = data[0] == 'M';
    const bool bigTiff = ReadUnsigned(data + 2, 2, bigEndian) == 43;
    const std::uint64_t headerSize = bigTiff ? 16 : 8;
    if (size < headerSize) {
        return false;
    }
    const std::uint64_t directory =
        bigTiff ? ReadUnsigned(data + 8, 8, bigEndian) : ReadUnsigned(data + 4, 4, bigEndian);
    const int countBytes = bigTiff ? 8 : 2;
    const std::uint64_t entryBytes = bigTiff ? 20 : 12;
    const std::uint64_t inlineBytes = bigTiff ? 8 : 4;
    if (directory > size || size - directory < static_cast<std::uint64_t>(countBytes)) {
        return false;
    }
    const std::uint64_t entries = ReadUnsigned(data + directory, countBytes, bigEndian);
    const std::uint64_t first = directory + countBytes;
    if (entries > (size - first) / entryBytes) {
        return false;
    }
    for (std::uint64_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = data + first + i * entryBytes;
        const std::uint64_t typeSize = TiffTypeSize(ReadUnsigned(entry + 2, 2, bigEndian));
        const std::uint64_t count =
            bigTiff ? ReadUnsigned(entry + 4, 8, bigEndian) : ReadUnsigned(entry + 4, 4, bigEndian);
        if (typeSize == 0 || count <= inlineBytes / typeSize) {
            continue;  // value held in the entry itself
        }
        const std::uint64_t offset = bigTiff ? ReadUnsigned(entry + 12, 8, bigEndian)
                                             : ReadUnsigned(entry + 8, 4, bigEndian);
        if (count > size / typeSize || offset > size || count * typeSize > size - offset) {
            return false;
        }
    }
    return true;
}

bool AllDataPresent(TIFF* tiff, std::uint64_t fileSize) {
    const std::uint32_t count =
        TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    for (std::uint32_t i = 0; i < count; ++i) {
        int error = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, i, &error);
        const std::uint64_t length = TIFFGetStrileByteCountWithErr(tiff, i, &error);
        if (error != 0) {
            return true;  // Not a question of length; the decoder will judge.
        }
        if (offset > fileSize || length > fileSize - offset) {
            return false;
        }
    }
    return true;
}

tmsize_t ReadOutput(thandle_t handle, void* buffer, tmsize_t length) {
    return static_cast<OutputFile*>(handle)->Read(buffer, static_cast<std::size_t>(length));
}
tmsize_t WriteOutput(thandle_t handle, void* buffer, tmsize_t length) {
    auto* out = static_cast<OutputFile*>(handle);
    return length >= 0 && out->Write(buffer, static_cast<std::size_t>(length)) ? length : -1;
}
toff_t SeekOutput(thandle_t handle, toff_t offset, int whence) {
    const off_t result = static_cast<OutputFile*>(handle)->Seek(static_cast<off_t>(offset), whence);
    return result < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(result);
}
toff_t SizeOfOutput(thandle_t handle) {
    const off_t size = static_cast<OutputFile*>(handle)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}
int NoMap(thandle_t, void**, toff_t*) {
    return 0;
}

// The layout nearly every RGB TIFF has: 8-bit red, green, blue interleaved in strips, top
// row first. Read strip by strip, it decodes in a third of the time of the general
// RGBA reader, to the same pixels.
bool IsPlainRgb(TIFF* tiff) {
    std::uint16_t bits = 0, samples = 0, planar = 0, photometric = 0, orientation = 0;
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
    return TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) == 1 &&
           photometric == PHOTOMETRIC_RGB && bits == 8 && samples == 3 && extraCount == 0 &&
           planar == PLANARCONFIG_CONTIG && orientation == ORIENTATION_TOPLEFT &&
           !TIFFIsTiled(tiff);
}

bool ReadPlainRgb(TIFF* tiff, Bitmap& bitmap) {
    std::uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const auto height = static_cast<std::uint32_t>(bitmap.height);
    if (rowsPerStrip == 0 || rowsPerStrip > height) {
        rowsPerStrip = height;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * 3;
    if (TIFFScanlineSize64(tiff) != static_cast<std::uint64_t>(rowBytes)) {
        return false;
    }
    const std::size_t stripBytes = rowBytes * rowsPerStrip;
    std::unique_ptr<std::uint8_t[]> strip(new (std::nothrow) std::uint8_t[stripBytes]);
    if (!strip) {
        return false;
    }
    for (std::uint32_t first = 0; first < height; first += rowsPerStrip) {
        const std::uint32_t rows = std::min(rowsPerStrip, height - first);
        const tmsize_t wanted = static_cast<tmsize_t>(rowBytes * rows);
        const tstrip_t index = TIFFComputeStrip(tiff, first, 0);
        if (TIFFReadEncodedStrip(tiff, index, strip.get(), wanted) != wanted) {
            return false;
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            const std::uint8_t* in = strip.get() + rowBytes * r;
            std::uint8_t* out = bitmap.TopDownRow(static_cast<int>(first + r));
            for (int x = 0; x < bitmap.width; ++x, in += 3, out += 4) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = 255;
            }
        }
    }
    return true;
}

}  // namespace

bool LooksLikeTiff(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return false;
    }
    const bool little =
        data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0;
    const bool big =
        data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

LoadResult DecodeTiff(const std::uint8_t* data, std::size_t size,
                      const BackgroundColor& background) {
    if (!FirstDirectoryInside(data, size)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    auto options = QuietOptions();
    if (!options) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    MemoryFile file{data, size, 0};
    TiffHandle tiff(TIFFClientOpenExt("picture", "r", &file, ReadMemory, RefuseWrite, SeekMemory,
                                      CloseNothing, SizeOfMemory, MapMemory, UnmapNothing,
                                      options.get()));
    if (!tiff) {
        return LoadFailure(LoadStatus::Damaged);
    }
    std::uint32_t width = 0, height = 0;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1 || width == 0 || height == 0) {
        return LoadFailure(LoadStatus::Damaged);
    }
    if (!IsAcceptablePictureSize(width, height)) {
        return LoadFailure(LoadStatus::TooLarge);
    }
    char message[1024] = {};
    if (TIFFRGBAImageOK(tiff.get(), message) != 1) {
        return LoadFailure(LoadStatus::Unsupported);
    }
    if (!AllDataPresent(tiff.get(), size)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    std::uint16_t bitsPerSample = 1, samplesPerPixel = 1;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    BitmapHandle bitmap = CreateBitmap(static_cast<int>(width), static_cast<int>(height),
                                       bitsPerSample * samplesPerPixel);
    if (!bitmap) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    if (IsPlainRgb(tiff.get())) {
        if (!ReadPlainRgb(tiff.get(), *bitmap)) {
            return LoadFailure(LoadStatus::Damaged);
        }
        return LoadResult{std::move(bitmap), LoadStatus::Ok};
    }
    // libtiff packs each pixel as a little-endian word of r, g, b, a: in memory exactly the
    // bytes r g b a, premultiplied, and bottom row first as asked.
    if (TIFFReadRGBAImageOriented(tiff.get(), width, height,
                                  reinterpret_cast<std::uint32_t*>(bitmap->pixels.get()),
                                  ORIENTATION_BOTLEFT, 1) != 1) {
        return LoadFailure(LoadStatus::Damaged);
    }
    FinishDecodedPixels(*bitmap, DecodedLayout::BottomUpRgbaPremultiplied, background);
    return LoadResult{std::move(bitmap), LoadStatus::Ok};
}

bool EncodeTiff(const Bitmap& bitmap, OutputFile& out) {
    auto options = QuietOptions();
    if (!options) {
        return false;
    }
    TiffHandle tiff(TIFFClientOpenExt("output", "w", &out, ReadOutput, WriteOutput, SeekOutput,
                                      CloseNothing, SizeOfOutput, NoMap, UnmapNothing,
                                      options.get()));
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.width) * 3;
    // About 128 KiB of pixels per strip: few strips, each a fresh LZW table.
    const auto rowsPerStrip = static_cast<std::uint32_t>(std::clamp<std::size_t>(
        (std::size_t{128} << 10) / rowBytes, 1, static_cast<std::size_t>(bitmap.height)));
    const bool tagged =
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(bitmap.width)) &&
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(bitmap.height)) &&
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
        // Differences of neighbouring pixels halve a photograph's LZW data.
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (!tagged) {
        return false;
    }
    // Strips are differenced and compressed here, then written as they are.
    const std::size_t stripBytes = rowBytes * rowsPerStrip;
    std::unique_ptr<std::uint8_t[]> strip(new (std::nothrow) std::uint8_t[stripBytes]);
    std::unique_ptr<std::uint8_t[]> encoded(
        new (std::nothrow) std::uint8_t[LzwEncoder::MaxEncodedBytes(stripBytes)]);
    LzwEncoder encoder;
    if (!strip || !encoded || !encoder.Init()) {
        return false;
    }
    const auto height = static_cast<std::uint32_t>(bitmap.height);
    for (std::uint32_t first = 0, index = 0; first < height; first += rowsPerStrip, ++index) {
        const std::uint32_t rows = std::min(rowsPerStrip, height - first);
        for (std::uint32_t r = 0; r < rows; ++r) {
            std::uint8_t* row = strip.get() + rowBytes * r;
            BgraRowToRgb(bitmap.TopDownRow(static_cast<int>(first + r)), row, bitmap.width);
            for (std::size_t i = rowBytes - 1; i >= 3; --i) {
                row[i] = static_cast<std::uint8_t>(row[i] - row[i - 3]);
            }
        }
        const std::size_t size = encoder.EncodeStrip(strip.get(), rowBytes * rows, encoded.get());
        if (TIFFWriteRawStrip(t, index, encoded.get(), static_cast<tmsize_t>(size)) < 0) {
            return false;
        }
    }
    if (TIFFFlush(t) != 1) {
        return false;
    }
    return !out.Failed();
}

}  // namespace fotoshuttle
