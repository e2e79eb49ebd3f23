#include "imaging/PictureOperations.h"

#include "imaging/OutputFile.h"
#include "imaging/PictureDecoder.h"
#include "imaging/Resampling.h"

namespace fotoshuttle {

LoadResult CPictureOperations::LoadPictureFileDetailed(const std::string& path) const {
    return DecodePictureFile(path, m_background);
}

BitmapHandle CPictureOperations::LoadPictureFile(const std::string& path) {
    return LoadPictureFileDetailed(path).bitmap;
}

int CPictureOperations::SaveAsBmp(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/bmp");
}

int CPictureOperations::SaveAsPng(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/png");
}

int CPictureOperations::SaveAsJpeg(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/jpeg");
}

int CPictureOperations::SaveAsGif(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/gif");
}

int CPictureOperations::SaveAsTiff(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/tiff");
}

int CPictureOperations::SaveAsEmf(const std::string& path, const Bitmap* bitmap) {
    return SaveWithEncoder(path, bitmap, "image/emf");
}

int CPictureOperations::GetEncoderClsid(const std::string& mimeType, EncoderId* clsid) {
    if (clsid == nullptr) {
        return -1;
    }
    int position = 0;
    for (const EncoderEntry& entry : ImageEncoders()) {
        if (entry.mimeType == mimeType) {
            *clsid = entry.id;
            return position;
        }
        ++position;
    }
    return -1;
}

BitmapHandle CPictureOperations::ResizeBitmap(const Bitmap* source, int newWidth, int newHeight) {
    return ResampleBilinear(source, newWidth, newHeight);
}

int CPictureOperations::SaveWithEncoder(const std::string& path, const Bitmap* bitmap,
                                        const std::string& mimeType) {
    EncoderId id;
    if (GetEncoderClsid(mimeType, &id) < 0) {
        return 0;
    }
    const EncoderEntry* encoder = FindEncoderById(id);
    if (encoder == nullptr || !IsUsableBitmap(bitmap)) {
        return 0;
    }
    OutputFile out;
    if (!out.Open(path)) {
        return 0;
    }
    if (!encoder->encode(*bitmap, out)) {
        return 0;  // out's destructor removes the temporary file
    }
    return out.Commit() ? 1 : 0;
}

}  // namespace fotoshuttle
