#pragma once

#include <string>
#include <string_view>

namespace hollowmere::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes away. Helpers create fixture trees inside it and fail the test on any error.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

    // Each takes a path relative to the folder; parents must exist.
    void mkdir(std::string_view relative, unsigned mode = 0755) const;
    // Writes `bytes` bytes (of non-zero data, so the file really allocates blocks).
    void write(std::string_view relative, size_t bytes = 0) const;
    void symlink(std::string_view target, std::string_view relative) const;
    void link(std::string_view existing, std::string_view relative) const;

private:
    std::string path_;
};

// Allocated bytes of a path, not following a link: st_blocks x 512.
unsigned long long allocatedBytes(const std::string& path);

} // namespace hollowmere::test
