#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace hollowmere {

// The app's texts were first written for macOS and keep their words here, except for the
// names of that system's places and tools, which this one table turns into their Linux
// counterparts. The result is the key under which translations are looked up.
namespace Wording {

// The text with every macOS name replaced; a replacement that starts a sentence starts with
// a capital letter.
std::string forLinux(std::string_view text);

// forLinux, then translated for the current locale in `context`.
QString text(const char* context, std::string_view text);

} // namespace Wording

} // namespace hollowmere
