#include "service_names.h"

namespace hollowmere::ServiceNames {

std::string helperIdentifier() { return std::string(appIdentifier) + std::string(helperSuffix); }

std::string socketPath() { return "/run/" + helperIdentifier() + ".socket"; }

std::string socketUnit() { return helperIdentifier() + ".socket"; }

std::string serviceUnit() { return helperIdentifier() + ".service"; }

std::optional<std::string> appIdentifierOf(std::string_view helperIdentifier) {
    if (helperIdentifier.size() <= helperSuffix.size() || !helperIdentifier.ends_with(helperSuffix)) {
        return std::nullopt;
    }
    return std::string(helperIdentifier.substr(0, helperIdentifier.size() - helperSuffix.size()));
}

} // namespace hollowmere::ServiceNames
