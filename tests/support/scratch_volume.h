#pragma once

#include <string>

namespace hollowmere::test {

// A small tmpfs mounted at a folder, in a mount namespace of this process's own so that
// nothing outside the test sees it, for tests that need a second volume. Needs root;
// unavailable() says why it could not be mounted (the test then skips).
class ScratchVolume {
public:
    explicit ScratchVolume(const std::string& at);
    ~ScratchVolume();
    ScratchVolume(const ScratchVolume&) = delete;
    ScratchVolume& operator=(const ScratchVolume&) = delete;

    const std::string& unavailable() const { return unavailable_; }

private:
    std::string at_;
    std::string unavailable_;
    bool mounted_ = false;
};

} // namespace hollowmere::test
