#include "convert/DecodeAhead.h"

#include <system_error>
#include <utility>

#include "imaging/PictureDecoder.h"

namespace fotoshuttle {

DecodedSource DecodeSource(CPictureOperations& operations, const std::string& path) {
    DecodedSource source;
    source.path = path;
    source.before = ReadFileSignature(path);
    source.picture = operations.LoadPictureFile(path);
    if (!source.picture) {
        source.failure = operations.LoadPictureFileDetailed(path).status;
    }
    return source;
}

bool ReadingAheadFits(const std::string& nextPath, const std::string& outputFormat) {
    return outputFormat != ".png" && FileStartsLikeJpeg(nextPath);
}

DecodeAhead::DecodeAhead(CPictureOperations& operations) : m_operations(operations) {}

DecodeAhead::~DecodeAhead() {
    Discard();
}

void DecodeAhead::Start(const std::string& path) {
    if (m_thread.joinable()) {
        return;
    }
    m_ahead = DecodedSource{};
    try {
        m_thread = std::thread([this, path] { m_ahead = DecodeSource(m_operations, path); });
    } catch (const std::system_error&) {
        m_ahead = DecodedSource{};
    }
}

DecodedSource DecodeAhead::Take(const std::string& path) {
    if (m_thread.joinable()) {
        m_thread.join();
        if (m_ahead.path == path) {
            return std::exchange(m_ahead, DecodedSource{});
        }
        m_ahead = DecodedSource{};
    }
    return DecodeSource(m_operations, path);
}

void DecodeAhead::Discard() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_ahead = DecodedSource{};
}

}  // namespace fotoshuttle
