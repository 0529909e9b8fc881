// Writes a few valid transfer blocks into a folder, as seeds for transfer_decode_fuzz.
#include "scankit/file_tree.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

using namespace hollowmere;
using Kind = FileTree::Kind;
using Flags = FileTree::Flags;

namespace {

struct Builder {
    std::vector<FileTree::Node> nodes;
    std::vector<uint8_t> names;

    void add(std::string_view name, Kind kind, uint64_t size, int32_t parent, int32_t firstChild = 0,
             int32_t childCount = 0, Flags flags = Flags::none) {
        nodes.push_back({size, static_cast<uint32_t>(names.size()), parent, firstChild, childCount, 0,
                         static_cast<uint16_t>(name.size()), static_cast<uint8_t>(kind), static_cast<uint8_t>(flags)});
        names.insert(names.end(), name.begin(), name.end());
    }
};

FileTree rootOnly() {
    Builder b;
    b.add("home", Kind::folder, 0, -1);
    FileTree tree("/home", b.nodes, b.names);
    tree.finish();
    return tree;
}

FileTree nested() {
    Builder b;
    b.add("ann", Kind::folder, 0, -1, 1, 4);
    b.add("Documents", Kind::folder, 0, 0, 5, 2);
    b.add("Tool.app", Kind::package, 0, 0, 7, 1);
    b.add("link", Kind::symlink, 4096, 0);
    b.add("fifo", Kind::other, 0, 0, 0, 0, Flags::restricted);
    b.add("a,b.txt", Kind::file, 8192, 1, 0, 0, Flags::otherNames);
    b.add("caf\xC3\xA9 \xFF", Kind::file, 12288, 1, 0, 0, Flags::hardLink);
    b.add("binary", Kind::file, 65536, 2, 0, 0, Flags::dataless);
    FileTree tree("/home/ann", b.nodes, b.names);
    tree.finish();
    return tree;
}

// A root child removed (the tail of the root's run) and a folder regrafted as administrator.
FileTree edited() {
    Builder b;
    b.add("data", Kind::folder, 15, -1, 1, 1);
    b.add("a", Kind::folder, 15, 0, 5, 2, Flags::readAsAdministrator);
    b.add("b", Kind::file, 7, 0, 0, 0, Flags::removed);
    b.add("x", Kind::file, 10, 1, 0, 0, Flags::removed);
    b.add("y", Kind::file, 5, 1, 0, 0, Flags::removed);
    b.add("x", Kind::file, 12, 1);
    b.add("z", Kind::file, 3, 1);
    b.nodes[0].items = 3;
    b.nodes[1].items = 2;
    return FileTree("/srv/Mail.app/data", b.nodes, b.names, {0, 1, 2, 3, 4, 5, 6});
}

bool write(const std::string& folder, const std::string& name, const FileTree& tree) {
    const std::vector<uint8_t> block = tree.transferData();
    std::ofstream out(folder + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = write(folder, "root-only", rootOnly()) && write(folder, "nested", nested()) &&
                    write(folder, "edited", edited());
    if (!ok) std::fprintf(stderr, "couldn't write the seeds into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
