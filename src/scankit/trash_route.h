#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace hollowmere {

// The rules that decide whose Trash an item goes to and which free name it takes there. Pure:
// the only contact with the disk is the caller's `exists` test.
namespace TrashRoute {

// The lowest user id of an ordinary account (the usual UID_MIN); lower ids are system accounts.
inline constexpr uint32_t firstPersonUID = 1000;

// Whose Trash an item goes to: the caller's when no user's home holds the item or the item
// belongs to a system account; otherwise the user whose home holds it.
uint32_t recipient(uint32_t owner, std::optional<uint32_t> homeHolder, uint32_t caller);

// stem + " " + number + extension (extension empty or beginning with "."), cut to at most 255
// bytes by dropping whole characters from the end of the stem. When the suffix alone would be
// too long, the extension joins the stem and may be cut with it.
std::string numberedName(std::string_view stem, uint32_t number, std::string_view extension);

// `name` when `exists(name)` is false, else the first of "stem 2.ext" ... "stem 100000.ext"
// that `exists` says is free; when every one is taken, the last (an exclusive move of it then
// fails rather than replace anything).
std::string freeName(std::string_view name, const std::function<bool(const std::string&)>& exists);

} // namespace TrashRoute

} // namespace hollowmere
