// Writes one seed per message and reply shape for helper_frame_fuzz into the folder given.
#include "helperlink/helper_message.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace hollowmere;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::vector<HelperFrame> frames;
    const HelperRequest requests[] = {
        HelloRequest{},          QuitRequest{},
        ScanRequest{"/home/ann"}, ScanProgressRequest{},
        CancelScanRequest{},     TrashOwnerRequest{"/home/ann/a"},
        MoveToTrashRequest{"/home/ann/a", 1700000000.25},
        PutBackRequest{"/home/ann/.local/share/Trash/files/a", "/home/ann/a", 2049, 1234},
    };
    for (const HelperRequest& request : requests) frames.push_back(encodeRequest(1, request));
    const HelperReply replies[] = {
        HelloReply{"1-2.3-4", true, true},
        QuitReply{},
        ScanReply{std::vector<uint8_t>{0x31, 0x54, 0x48, 0x57}, std::nullopt},
        ScanReply{std::nullopt, "cancelled"},
        ScanProgressReply{10, 4096, "/usr"},
        TrashOwnerReply{1000, "ann", false, std::nullopt},
        MoveToTrashReply{"/t/files/a", 1000, 2049, 1234, std::nullopt},
        PutBackReply{"taken"},
    };
    for (const HelperReply& reply : replies) frames.push_back(encodeReply(2, reply));
    int n = 0;
    for (const HelperFrame& frame : frames) {
        const std::vector<uint8_t> bytes = frame.encoded();
        std::ofstream out(std::string(argv[1]) + "/seed-" + std::to_string(n++), std::ios::binary);
        out.put(static_cast<char>(n * 7)); // the piece size the fuzzer reads first
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return 0;
}
