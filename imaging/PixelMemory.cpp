#include "imaging/PixelMemory.h"

#include <array>
#include <mutex>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define FOTOSHUTTLE_KEEP_PIXEL_BUFFERS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FOTOSHUTTLE_KEEP_PIXEL_BUFFERS 0
#endif
#endif
#ifndef FOTOSHUTTLE_KEEP_PIXEL_BUFFERS
#define FOTOSHUTTLE_KEEP_PIXEL_BUFFERS 1
#endif

namespace fotoshuttle {
namespace {

// Smaller buffers come from the allocator's own reused memory anyway.
constexpr std::size_t kSmallestKept = std::size_t{1} << 20;

struct Spare {
    std::uint8_t* buffer = nullptr;
    std::size_t capacity = 0;
};

// The spares, newest last.
class SpareBuffers {
  public:
    Spare TakeFitting(std::size_t bytes) {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = m_count; i-- > 0;) {
            // Up to twice the size needed: a much larger buffer is better given back.
            if (m_spares[i].capacity >= bytes && m_spares[i].capacity / 2 <= bytes) {
                const Spare taken = m_spares[i];
                RemoveAt(i);
                return taken;
            }
        }
        return {};
    }

    // False when the buffer is to be given back instead.
    bool Keep(std::uint8_t* buffer, std::size_t capacity) {
        if (!FOTOSHUTTLE_KEEP_PIXEL_BUFFERS || capacity < kSmallestKept) {
            return false;
        }
        Spare oldest;
        {
            std::lock_guard lock(m_mutex);
            if (m_count == m_spares.size()) {
                oldest = m_spares[0];
                RemoveAt(0);
            }
            m_spares[m_count++] = Spare{buffer, capacity};
        }
        delete[] oldest.buffer;
        return true;
    }

    void ReleaseAll() {
        std::array<Spare, 2> released;
        std::size_t count = 0;
        {
            std::lock_guard lock(m_mutex);
            released = m_spares;
            count = std::exchange(m_count, 0);
        }
        for (std::size_t i = 0; i < count; ++i) {
            delete[] released[i].buffer;
        }
    }

    std::size_t Bytes() {
        std::lock_guard lock(m_mutex);
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < m_count; ++i) {
            bytes += m_spares[i].capacity;
        }
        return bytes;
    }

  private:
    void RemoveAt(std::size_t index) {
        for (std::size_t i = index; i + 1 < m_count; ++i) {
            m_spares[i] = m_spares[i + 1];
        }
        --m_count;
    }

    std::mutex m_mutex;
    std::array<Spare, 2> m_spares{};
    std::size_t m_count = 0;
};

SpareBuffers& Spares() {
    static SpareBuffers spares;
    return spares;
}

}  // namespace

void PixelBufferRelease::operator()(std::uint8_t* buffer) const noexcept {
    if (buffer != nullptr && !Spares().Keep(buffer, capacity)) {
        delete[] buffer;
    }
}

PixelBuffer AcquirePixelBuffer(std::size_t bytes) {
    if (bytes >= kSmallestKept) {
        const Spare spare = Spares().TakeFitting(bytes);
        if (spare.buffer != nullptr) {
            return PixelBuffer(spare.buffer, PixelBufferRelease{spare.capacity});
        }
        // Spares that fit no picture being made now are given back before fresh memory is
        // taken, so keeping never adds to what a batch holds at its largest.
        Spares().ReleaseAll();
    }
    return PixelBuffer(new (std::nothrow) std::uint8_t[bytes], PixelBufferRelease{bytes});
}

void ReleaseSparePixelBuffers() {
    Spares().ReleaseAll();
}

std::size_t SparePixelBytes() {
    return Spares().Bytes();
}

bool KeepsReleasedPixelBuffers() {
    return FOTOSHUTTLE_KEEP_PIXEL_BUFFERS != 0;
}

}  // namespace fotoshuttle
