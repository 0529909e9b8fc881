#include "support/scratch_volume.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace hollowmere::test {

ScratchVolume::ScratchVolume(const std::string& at) : at_(at) {
    if (::geteuid() != 0) {
        unavailable_ = "needs root to mount a second volume";
    } else if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
               ::mount("hollowmere-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=4m,mode=0755") != 0) {
        unavailable_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    } else {
        mounted_ = true;
    }
}

ScratchVolume::~ScratchVolume() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
}

} // namespace hollowmere::test
