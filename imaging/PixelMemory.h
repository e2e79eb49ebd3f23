#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fotoshuttle {

// Gives a released pixel buffer back, or keeps it for the next picture of about its size.
struct PixelBufferRelease {
    std::size_t capacity = 0;
    void operator()(std::uint8_t* buffer) const noexcept;
};
using PixelBuffer = std::unique_ptr<std::uint8_t[], PixelBufferRelease>;

// Uninitialised memory for a picture's pixels, or null when there is none. Memory the system
// hands out fresh costs about as much time as decoding a picture into it, so the last two
// large buffers released are kept and the next picture that fits one takes it over.
PixelBuffer AcquirePixelBuffer(std::size_t bytes);

// Gives the kept buffers back to the system (a batch does at its end, so a resident
// program holds no picture memory between batches).
void ReleaseSparePixelBuffers();

// Bytes kept for reuse right now.
std::size_t SparePixelBytes();

// False in builds that give every buffer back at once (under AddressSanitizer, so that a use
// of released pixels is still reported).
bool KeepsReleasedPixelBuffers();

}  // namespace fotoshuttle
