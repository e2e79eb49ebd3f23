#pragma once

#include <optional>
#include <string>
#include <thread>

#include "convert/SourceFileOperations.h"
#include "imaging/PictureOperations.h"

namespace fotoshuttle {

// One source picture as read for a conversion.
struct DecodedSource {
    std::string path;
    // Taken just before the file was read, so a later look can tell whether the picture is
    // still the file's.
    std::optional<FileSignature> before;
    BitmapHandle picture;                 // null when the file did not load
    LoadStatus failure = LoadStatus::Ok;  // why, when it did not
};

// Reads the picture at path through the operations' LoadPictureFile.
DecodedSource DecodeSource(CPictureOperations& operations, const std::string& path);

// Whether the next picture may be read while the current one is saved: the batch then holds two
// pictures with the working memory of a decoding and of a save, which stays below three
// pictures only where both need little besides their pictures. JPEG decoding holds the file
// (about a tenth of the picture); PNG, BMP, GIF and TIFF decoding hold a file or inflated rows
// of up to a picture's size, and saving a PNG holds filtered rows and the compressed stream,
// about one picture more.
bool ReadingAheadFits(const std::string& nextPath, const std::string& outputFormat);

// Decodes the next source of a batch on a second thread while the batch goes on with the
// current one. Only reading happens there: everything that changes a file stays with the
// caller. At most one picture is decoded ahead, so a batch holds at most two decoded pictures.
class DecodeAhead {
  public:
    explicit DecodeAhead(CPictureOperations& operations);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Starts decoding path unless a decoding is already under way; when no thread can be
    // started the picture is simply decoded when it is taken.
    void Start(const std::string& path);
    // The picture at path: the one decoded ahead if it was this path, otherwise decoded now.
    DecodedSource Take(const std::string& path);
    // Waits for a decoding under way and drops its picture.
    void Discard();

  private:
    CPictureOperations& m_operations;
    std::thread m_thread;
    DecodedSource m_ahead;
};

}  // namespace fotoshuttle
