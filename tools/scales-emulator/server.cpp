// The links' own reading of an address, the same on every system.
#include <optional>

#include "server.h"

namespace emu {
namespace {

// Four decimal numbers 0-255 joined by dots, without leading zeros (which
// some readers take for octal) or anything around them.
std::optional<uint32_t> DottedQuad(const std::string& text) {
    constexpr int kParts = 4;
    constexpr uint32_t kPartMax = 255;
    uint32_t value = 0;
    size_t at = 0;
    for (int part = 0; part < kParts; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return std::nullopt;
        const size_t begin = at;
        uint32_t number = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            if (at > begin && number == 0) return std::nullopt;
            number = number * 10 + static_cast<uint32_t>(text[at] - '0');
            if (number > kPartMax) return std::nullopt;
        }
        if (at == begin) return std::nullopt;
        value = value << 8 | number;
    }
    if (at != text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<uint32_t> LoopbackAddress(const std::string& address) {
    constexpr uint32_t kLocalhost = 0x7F000001;
    constexpr uint32_t kLoopbackNet = 127;
    if (address == "localhost") return kLocalhost;
    const std::optional<uint32_t> value = DottedQuad(address);
    if (!value || *value >> 24 != kLoopbackNet) return std::nullopt;
    return value;
}

bool IsLoopbackAddress(const std::string& address) {
    return LoopbackAddress(address).has_value();
}

}  // namespace emu
