#include "wording.h"

#include <QCoreApplication>

#include <array>
#include <utility>

namespace hollowmere {

namespace {

// Longer phrases first: each place in the text is replaced once, by the first phrase that
// matches there.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> replacements = {{
    {"Show in Finder", "Show in File Manager"},
    {"Same as macOS", "Same as the system"},
    {"with Touch ID or your password", "with your password"},
    {"this Mac", "this computer"},
    {"Finder", "the file manager"},
    {"macOS", "the system"},
}};

bool startsSentence(const std::string& written) {
    if (written.empty()) return true;
    const size_t end = written.find_last_not_of(' ');
    if (end == std::string::npos || end + 1 == written.size()) return false;
    const char last = written[end];
    return last == '.' || last == '!' || last == '?';
}

} // namespace

std::string Wording::forLinux(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    size_t at = 0;
    while (at < text.size()) {
        bool replaced = false;
        for (const auto& [mac, here] : replacements) {
            if (text.substr(at, mac.size()) != mac) continue;
            const bool capital = startsSentence(out);
            out += here;
            if (capital) {
                char& first = out[out.size() - here.size()];
                if (first >= 'a' && first <= 'z') first = static_cast<char>(first - 'a' + 'A');
            }
            at += mac.size();
            replaced = true;
            break;
        }
        if (!replaced) out += text[at++];
    }
    return out;
}

QString Wording::text(const char* context, std::string_view text) {
    const std::string key = forLinux(text);
    return QCoreApplication::translate(context, key.c_str());
}

} // namespace hollowmere
