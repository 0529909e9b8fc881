#include "failure_words.h"

#include <cstring>

namespace hollowmere::FailureWords {

std::string errorText(int32_t code) {
    // strerrordesc_np is strerror's text without its shared buffer (safe on any thread).
    if (const char* text = ::strerrordesc_np(code)) return text;
    return "Unknown error " + std::to_string(code);
}

std::string unreadable(int32_t code) { return "errno " + std::to_string(code) + ": " + errorText(code); }

std::string system(std::string_view operation, int32_t code) {
    return std::string(operation) + ": errno " + std::to_string(code) + " (" + errorText(code) + ")";
}

} // namespace hollowmere::FailureWords
