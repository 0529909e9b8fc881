#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hollowmere {

// Every name the app and the helper share is derived from the app's identifier.
namespace ServiceNames {

inline constexpr std::string_view appIdentifier = "org.hollowmere.Hollowmere";
inline constexpr std::string_view helperSuffix = ".helper";

// The helper's identity: the app identifier and ".helper". systemd hands the listening
// socket over under this name (FileDescriptorName= of the socket unit).
std::string helperIdentifier();
// Where the socket unit listens: /run/<helper identifier>.socket.
std::string socketPath();
// The systemd units that start the helper on demand: <helper identifier>.socket, .service.
std::string socketUnit();
std::string serviceUnit();

// The app identifier a helper identifier belongs to: the identifier without its ".helper"
// suffix. Absent when there is no such suffix or nothing in front of it.
std::optional<std::string> appIdentifierOf(std::string_view helperIdentifier);

} // namespace ServiceNames

} // namespace hollowmere
