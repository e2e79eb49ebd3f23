#pragma once

#include <cstdint>
#include <string>

#include "imaging/Bitmap.h"
#include "imaging/EncoderRegistry.h"
#include "imaging/LoadStatus.h"
#include "imaging/PixelComposition.h"

namespace fotoshuttle {

// The picture operations of the control dialog, which derives from this class. They keep no
// state between calls except the loader's background colour. Every operation accepts the null
// handle (an empty BitmapHandle, or nullptr where a picture is read) and fails on it cleanly.
// Paths are UTF-8 and used exactly as given.
class CPictureOperations {
  public:
    virtual ~CPictureOperations() = default;

    // The opaque colour put behind pixels that are not fully opaque (0xAARRGGBB, alpha
    // ignored). The dialog passes its palette's button colour; the default is 0xFFF0F0F0.
    void SetBackgroundColor(std::uint32_t argb) { m_background = BackgroundColor::FromArgb(argb); }
    std::uint32_t BackgroundColorArgb() const { return m_background.ToArgb(); }

    // A new picture from a BMP, GIF, JPEG, PNG or TIFF file (recognised by its content), or
    // the null handle: not readable, not a picture, damaged, truncated, or beyond
    // kMaxPicturePixels.
    virtual BitmapHandle LoadPictureFile(const std::string& path);

    // Each writes the picture to exactly this path and returns 1, or returns 0 and leaves an
    // existing file at the path as it was. They ask GetEncoderClsid (through the virtual
    // table) for the encoder of "image/bmp", "image/png", "image/jpeg", "image/gif",
    // "image/tiff" or "image/emf" (which has none, so SaveAsEmf returns 0). The picture is
    // neither changed nor released.
    virtual int SaveAsBmp(const std::string& path, const Bitmap* bitmap);
    virtual int SaveAsPng(const std::string& path, const Bitmap* bitmap);
    virtual int SaveAsJpeg(const std::string& path, const Bitmap* bitmap);
    virtual int SaveAsGif(const std::string& path, const Bitmap* bitmap);
    virtual int SaveAsTiff(const std::string& path, const Bitmap* bitmap);
    virtual int SaveAsEmf(const std::string& path, const Bitmap* bitmap);

    // Position (from 0) of the first encoder whose MIME type equals mimeType exactly (case
    // matters), after storing its identifier in *clsid; -1 (clsid untouched) when none does.
    virtual int GetEncoderClsid(const std::string& mimeType, EncoderId* clsid);

    // A new picture of newWidth x newHeight, bilinear in 8-bit fixed point (see
    // imaging/Resampling.h), or the null handle. The source stays the caller's, unchanged.
    virtual BitmapHandle ResizeBitmap(const Bitmap* source, int newWidth, int newHeight);

    // LoadPictureFile with the reason for a failure, so a caller can tell a file that is
    // still arriving (Truncated) from one that will never load.
    LoadResult LoadPictureFileDetailed(const std::string& path) const;

  protected:
    // The one save routine behind SaveAs*: encoder chosen by MIME type through
    // GetEncoderClsid, written to a temporary file, renamed over path on success.
    int SaveWithEncoder(const std::string& path, const Bitmap* bitmap, const std::string& mimeType);

  private:
    BackgroundColor m_background{};
};

}  // namespace fotoshuttle
