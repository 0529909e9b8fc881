#include "model/wording.h"

#include <gtest/gtest.h>

namespace hollowmere {
namespace {

TEST(Wording, ReplacesOnlyTheNamesOfMacPlacesAndTools) {
    const struct {
        const char* mac;
        const char* here;
    } cases[] = {
        {"macOS needs this folder: it stays where it is.", "The system needs this folder: it stays where it is."},
        {"Only an administrator of this Mac can use Hollowmere.",
         "Only an administrator of this computer can use Hollowmere."},
        {"Show in Finder", "Show in File Manager"},
        {"Open it in Finder. Finder knows.", "Open it in the file manager. The file manager knows."},
        {"Same as macOS", "Same as the system"},
        {"Allow it with Touch ID or your password.", "Allow it with your password."},
        {"It is kept by macOS, not by you.", "It is kept by the system, not by you."},
        {"", ""},
        {"Hollowmere couldn't reach its helper: ", "Hollowmere couldn't reach its helper: "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Wording::forLinux(c.mac), c.here) << c.mac;
}

} // namespace
} // namespace hollowmere
