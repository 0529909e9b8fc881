#include "file_tree.h"

#include "unique_fd.h"
#include "utf8.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace hollowmere {

namespace {

constexpr std::string_view header = "path,kind,allocated_bytes,items\n";
constexpr size_t blockBytes = 1 << 20;
constexpr std::string_view kindWords[] = {"file", "folder", "package", "symlink", "other"};
static_assert(std::size(kindWords) == FileTree::kindCount);

// The destination file: every write is complete or throws.
class CsvFile {
public:
    explicit CsvFile(const std::string& path)
        : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666)) {
        if (!fd_) throw std::system_error(errno, std::generic_category(), "couldn't open " + path_);
    }

    void write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                throw std::system_error(errno, std::generic_category(), "couldn't write " + path_);
            }
            bytes.remove_prefix(static_cast<size_t>(written));
        }
    }

    // A failing close can be the only sign that written data were lost (network file systems
    // report deferred write errors there), so it fails the export. EINTR leaves the descriptor
    // closed on Linux and is not retried.
    void close() {
        if (::close(fd_.release()) != 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "couldn't write " + path_);
        }
    }

private:
    std::string path_;
    UniqueFd fd_;
};

template <typename Integer> void appendDecimal(std::string& out, Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

bool isSpecial(unsigned char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; }

// Appends the path field of a node, built from its parent chain and quoted where needed.
class PathWriter {
public:
    explicit PathWriter(const FileTree& tree) : tree_(tree), root_(repairUtf8(tree.rootPath())) {
        for (unsigned char c : root_) rootIsSpecial_ |= isSpecial(c);
    }

    void append(std::string& out, int32_t id) {
        const size_t start = out.size();
        bool special = rootIsSpecial_;
        if (id == 0) {
            out += root_;
        } else {
            chain_.clear();
            for (int32_t i = id; i > 0; i = tree_.nodes()[static_cast<size_t>(i)].parent) chain_.push_back(i);
            if (root_ != "/") out += root_;
            for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
                out += '/';
                appendName(out, tree_.nameBytes(NodeID{*it}), special);
            }
        }
        if (special) quote(out, start);
    }

private:
    // One pass finds both the bytes that force quoting and any non-ASCII byte; only names with
    // the latter need the UTF-8 check. Repair never adds or removes an ASCII byte.
    static void appendName(std::string& out, std::string_view name, bool& special) {
        bool ascii = true;
        for (unsigned char c : name) {
            ascii &= c < 0x80;
            special |= isSpecial(c);
        }
        if (ascii || isValidUtf8(name)) {
            out += name;
        } else {
            out += repairUtf8(name);
        }
    }

    void quote(std::string& out, size_t start) {
        scratch_.assign(1, '"');
        for (size_t k = start; k < out.size(); ++k) {
            if (out[k] == '"') scratch_ += '"';
            scratch_ += out[k];
        }
        scratch_ += '"';
        out.resize(start);
        out += scratch_;
    }

    const FileTree& tree_;
    std::string root_;
    bool rootIsSpecial_ = false;
    std::vector<int32_t> chain_;
    std::string scratch_;
};

} // namespace

void FileTree::writeCSV(NodeID from, const std::string& to) const {
    CsvFile file(to);
    PathWriter paths(*this);

    // One buffer, flushed once it passes the block size and reused after each write.
    std::string buffer;
    buffer.reserve(blockBytes + 64 * 1024);
    buffer += header;

    // Depth first, each node before its subtree; children are pushed largest first, so the
    // smallest is written first.
    std::vector<int32_t> stack{from.index};
    while (!stack.empty()) {
        const int32_t x = stack.back();
        stack.pop_back();
        const Node& node = nodes_[static_cast<size_t>(x)];
        paths.append(buffer, x);
        buffer += ',';
        buffer += node.kind < kindCount ? kindWords[node.kind] : kindWords[static_cast<size_t>(Kind::other)];
        buffer += ',';
        appendDecimal(buffer, node.size);
        buffer += ',';
        appendDecimal(buffer, node.items);
        buffer += '\n';
        if (buffer.size() > blockBytes) {
            file.write(buffer);
            buffer.clear();
        }
        const auto children = childIndexes(NodeID{x});
        stack.insert(stack.end(), children.begin(), children.end());
    }
    file.write(buffer);
    file.close();
}

} // namespace hollowmere
