#include "imaging/codecs/LzwEncoder.h"

#include <cstring>
#include <new>

namespace fotoshuttle {

namespace {

constexpr std::uint32_t kClearCode = 256;
constexpr std::uint32_t kEndCode = 257;
constexpr std::uint32_t kFirstFreeCode = 258;
constexpr int kMinBits = 9;
constexpr std::uint32_t kMaxCode = 4095;
constexpr std::uint32_t kEmptySlot = 0xFFFFFFFFu;  // prefix 4095 never occurs

class BitWriter {
  public:
    explicit BitWriter(std::uint8_t* out) : m_out(out), m_start(out) {}
    void Put(std::uint32_t code, int bits) {
        m_buffer = (m_buffer << bits) | code;
        m_count += bits;
        while (m_count >= 8) {
            m_count -= 8;
            *m_out++ = static_cast<std::uint8_t>(m_buffer >> m_count);
        }
    }
    std::size_t Finish() {
        if (m_count > 0) {
            *m_out++ = static_cast<std::uint8_t>(m_buffer << (8 - m_count));
        }
        return static_cast<std::size_t>(m_out - m_start);
    }

  private:
    std::uint64_t m_buffer = 0;
    int m_count = 0;
    std::uint8_t* m_out;
    std::uint8_t* m_start;
};

}  // namespace

bool LzwEncoder::Init() {
    m_table.reset(new (std::nothrow) std::uint32_t[std::size_t{1} << kTableBits]);
    return m_table != nullptr;
}

std::size_t LzwEncoder::EncodeStrip(const std::uint8_t* input, std::size_t size,
                                    std::uint8_t* out) {
    constexpr std::uint32_t kSlotMask = (1u << kTableBits) - 1;
    std::uint32_t* table = m_table.get();
    BitWriter writer(out);
    auto reset = [&] { std::memset(table, 0xFF, sizeof(std::uint32_t) << kTableBits); };
    reset();
    int bits = kMinBits;
    std::uint32_t limit = (1u << kMinBits) - 1;
    std::uint32_t next = kFirstFreeCode;
    writer.Put(kClearCode, bits);
    if (size == 0) {
        writer.Put(kEndCode, bits);
        return writer.Finish();
    }
    // After each new entry: reset when the table is full, else widen the codes as soon as
    // the next entry would not fit, exactly as the decoder expects.
    auto advance = [&] {
        ++next;
        if (next == kMaxCode - 1) {
            writer.Put(kClearCode, bits);
            reset();
            next = kFirstFreeCode;
            bits = kMinBits;
            limit = (1u << kMinBits) - 1;
        } else if (next > limit) {
            ++bits;
            limit = (1u << bits) - 1;
        }
    };
    std::uint32_t prefix = input[0];
    for (std::size_t i = 1; i < size; ++i) {
        const std::uint32_t key = (prefix << 8) | input[i];
        std::uint32_t slot = (key * 2654435761u) >> (32 - kTableBits);
        std::uint32_t found = kEmptySlot;
        while (table[slot] != kEmptySlot) {
            if ((table[slot] >> 12) == key) {
                found = table[slot] & 0xFFF;
                break;
            }
            slot = (slot + 1) & kSlotMask;
        }
        if (found != kEmptySlot) {
            prefix = found;
            continue;
        }
        writer.Put(prefix, bits);
        table[slot] = (key << 12) | next;
        advance();
        prefix = input[i];
    }
    writer.Put(prefix, bits);
    // The decoder makes an entry from this last code too, and may widen before the end code.
    advance();
    writer.Put(kEndCode, bits);
    return writer.Finish();
}

}  // namespace fotoshuttle
