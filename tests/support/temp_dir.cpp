#include "support/temp_dir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace hollowmere::test {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

int removeEntry(const char* path, const struct stat*, int type, struct FTW*) {
    if (type == FTW_DP) {
        ::chmod(path, 0700);
        return ::rmdir(path);
    }
    return ::unlink(path);
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/hollowmere-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data())) fail("mkdtemp");
    char* real = ::realpath(buffer.data(), nullptr);
    path_ = real ? real : buffer.data();
    std::free(real);
}

TempDir::~TempDir() {
    // Make every folder searchable again first, so that unreadable fixtures can be removed.
    ::nftw(path_.c_str(), [](const char* p, const struct stat* st, int type, struct FTW*) {
        if (type == FTW_D || type == FTW_DNR) ::chmod(p, st->st_mode | 0700);
        return 0;
    }, 64, FTW_PHYS);
    ::nftw(path_.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS);
}

void TempDir::mkdir(std::string_view relative, unsigned mode) const {
    const std::string p = *this / relative;
    if (::mkdir(p.c_str(), 0755) != 0) fail("mkdir " + p);
    if (mode != 0755 && ::chmod(p.c_str(), mode) != 0) fail("chmod " + p);
}

void TempDir::write(std::string_view relative, size_t bytes) const {
    const std::string p = *this / relative;
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail("open " + p);
    std::vector<char> data(bytes, 'x');
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::write(fd, data.data() + done, bytes - done);
        if (n <= 0) {
            ::close(fd);
            fail("write " + p);
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

void TempDir::symlink(std::string_view target, std::string_view relative) const {
    const std::string p = *this / relative;
    if (::symlink(std::string(target).c_str(), p.c_str()) != 0) fail("symlink " + p);
}

void TempDir::link(std::string_view existing, std::string_view relative) const {
    const std::string from = *this / existing, to = *this / relative;
    if (::link(from.c_str(), to.c_str()) != 0) fail("link " + to);
}

unsigned long long allocatedBytes(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) fail("lstat " + path);
    return static_cast<unsigned long long>(st.st_blocks) * 512;
}

} // namespace hollowmere::test
