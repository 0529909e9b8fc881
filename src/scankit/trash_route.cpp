#include "trash_route.h"

namespace hollowmere::TrashRoute {

namespace {

constexpr size_t nameLimit = 255;
constexpr uint32_t lastNumber = 100000;

// Bytes taken by the last character of `text`: a well-formed UTF-8 sequence counts whole, any
// other byte on its own, so that cutting never leaves half a character behind.
size_t lastCharacterLength(std::string_view text) {
    size_t continuation = 0;
    while (continuation < 3 && continuation < text.size() &&
           (static_cast<unsigned char>(text[text.size() - 1 - continuation]) & 0xC0) == 0x80) {
        ++continuation;
    }
    if (continuation == 0 || continuation == text.size()) return 1;
    const auto lead = static_cast<unsigned char>(text[text.size() - 1 - continuation]);
    const size_t expected = (lead & 0xE0) == 0xC0   ? 2
                            : (lead & 0xF0) == 0xE0 ? 3
                            : (lead & 0xF8) == 0xF0 ? 4
                                                    : 0;
    return expected == continuation + 1 ? expected : 1;
}

} // namespace

uint32_t recipient(uint32_t owner, std::optional<uint32_t> homeHolder, uint32_t caller) {
    if (!homeHolder || owner < firstPersonUID) return caller;
    return *homeHolder;
}

std::string numberedName(std::string_view stem, uint32_t number, std::string_view extension) {
    std::string base(stem);
    std::string suffix = " " + std::to_string(number) + std::string(extension);
    if (suffix.size() > nameLimit - 1) {
        base += extension;
        suffix = " " + std::to_string(number);
    }
    while (!base.empty() && base.size() + suffix.size() > nameLimit) {
        base.resize(base.size() - lastCharacterLength(base));
    }
    return base + suffix;
}

std::string freeName(std::string_view name, const std::function<bool(const std::string&)>& exists) {
    const std::string whole(name);
    if (!exists(whole)) return whole;

    // A hidden name with a single dot (.profile) has no extension; a trailing dot is none either.
    std::string_view stem = name;
    std::string_view extension;
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot + 1 < name.size() &&
        (name.front() != '.' || name.substr(1).find('.') != std::string_view::npos)) {
        stem = name.substr(0, dot);
        extension = name.substr(dot);
    }

    std::string candidate;
    for (uint32_t number = 2; number <= lastNumber; ++number) {
        candidate = numberedName(stem, number, extension);
        if (!exists(candidate)) break;
    }
    return candidate;
}

} // namespace hollowmere::TrashRoute
