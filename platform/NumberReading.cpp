#include "platform/NumberReading.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace fotoshuttle {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Accumulates a magnitude that stops growing once it passes the int range.
constexpr std::int64_t kSaturated = std::int64_t{INT_MAX} + 1;

int ApplySign(std::int64_t magnitude, bool negative) {
    if (negative) {
        return magnitude >= kSaturated ? INT_MIN : static_cast<int>(-magnitude);
    }
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

struct SignedStart {
    std::size_t pos = 0;
    bool negative = false;
};

SignedStart SkipBlanksAndSign(std::string_view text) {
    SignedStart start;
    while (start.pos < text.size() && IsBlank(text[start.pos])) {
        ++start.pos;
    }
    if (start.pos < text.size() && (text[start.pos] == '+' || text[start.pos] == '-')) {
        start.negative = text[start.pos] == '-';
        ++start.pos;
    }
    return start;
}

}  // namespace

int DecimalReading(std::string_view text) {
    SignedStart start = SkipBlanksAndSign(text);
    std::int64_t magnitude = 0;
    for (std::size_t i = start.pos; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kSaturated);
    }
    return ApplySign(magnitude, start.negative);
}

HexReading HexadecimalReading(std::string_view text) {
    std::size_t firstNonBlank = 0;
    while (firstNonBlank < text.size() && IsBlank(text[firstNonBlank])) {
        ++firstNonBlank;
    }
    if (firstNonBlank == text.size()) {
        return {HexScan::NothingToScan, 0};
    }
    SignedStart start = SkipBlanksAndSign(text);
    std::size_t pos = start.pos;
    // "0x" counts as a prefix only when a hexadecimal digit follows; a bare "0x" reads as 0.
    if (pos + 2 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && HexDigitValue(text[pos + 2]) >= 0) {
        pos += 2;
    }
    if (pos >= text.size() || HexDigitValue(text[pos]) < 0) {
        return {HexScan::NoNumber, 0};
    }
    std::int64_t magnitude = 0;
    for (; pos < text.size() && HexDigitValue(text[pos]) >= 0; ++pos) {
        magnitude = std::min(magnitude * 16 + HexDigitValue(text[pos]), kSaturated);
    }
    return {HexScan::Converted, ApplySign(magnitude, start.negative)};
}

}  // namespace fotoshuttle
