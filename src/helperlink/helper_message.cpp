#include "helper_message.h"

#include "frame_fields.h"

namespace hollowmere {

namespace {

template <class... F> struct Overloaded : F... {
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

[[noreturn]] void unknown(uint8_t number, const char* direction) {
    throw FrameError("no " + std::string(direction) + " numbered " + std::to_string(number));
}

} // namespace

bool expectsReply(HelperMessage message) { return message != HelperMessage::cancelScan; }

HelperMessage messageOf(const HelperRequest& request) {
    return static_cast<HelperMessage>(request.index() + 1);
}

HelperMessage messageOf(const HelperReply& reply) {
    return std::visit(Overloaded{
                          [](const HelloReply&) { return HelperMessage::hello; },
                          [](const QuitReply&) { return HelperMessage::quit; },
                          [](const ScanReply&) { return HelperMessage::scan; },
                          [](const ScanProgressReply&) { return HelperMessage::scanProgress; },
                          [](const TrashOwnerReply&) { return HelperMessage::trashOwner; },
                          [](const MoveToTrashReply&) { return HelperMessage::moveToTrash; },
                          [](const PutBackReply&) { return HelperMessage::putBack; },
                      },
                      reply);
}

HelperFrame encodeRequest(uint32_t requestId, const HelperRequest& request) {
    HelperFrame frame{requestId, static_cast<uint8_t>(messageOf(request)), {}};
    FieldWriter out(frame.fields);
    std::visit(Overloaded{
                   [](const HelloRequest&) {},
                   [](const QuitRequest&) {},
                   [&](const ScanRequest& r) { out.string(r.path); },
                   [](const ScanProgressRequest&) {},
                   [](const CancelScanRequest&) {},
                   [&](const TrashOwnerRequest& r) { out.string(r.path); },
                   [&](const MoveToTrashRequest& r) {
                       out.string(r.path);
                       out.float64(r.scannedSince);
                   },
                   [&](const PutBackRequest& r) {
                       out.string(r.inTrash);
                       out.string(r.original);
                       out.int32(r.device);
                       out.uint64(r.inode);
                   },
               },
               request);
    return frame;
}

HelperFrame encodeReply(uint32_t requestId, const HelperReply& reply) {
    HelperFrame frame{requestId, static_cast<uint8_t>(messageOf(reply)), {}};
    FieldWriter out(frame.fields);
    std::visit(Overloaded{
                   [&](const HelloReply& r) {
                       out.string(r.build);
                       out.boolean(r.callerIsAdministrator);
                       out.boolean(r.hasFullDiskAccess);
                   },
                   [](const QuitReply&) {},
                   [&](const ScanReply& r) {
                       out.optionalBytes(r.tree);
                       out.optionalString(r.error);
                   },
                   [&](const ScanProgressReply& r) {
                       out.int64(r.items);
                       out.uint64(r.bytes);
                       out.string(r.currentFolder);
                   },
                   [&](const TrashOwnerReply& r) {
                       out.int32(r.uid);
                       out.optionalString(r.name);
                       out.boolean(r.systemItem);
                       out.optionalString(r.error);
                   },
                   [&](const MoveToTrashReply& r) {
                       out.optionalString(r.path);
                       out.int32(r.owner);
                       out.int32(r.device);
                       out.uint64(r.inode);
                       out.optionalString(r.error);
                   },
                   [&](const PutBackReply& r) { out.optionalString(r.error); },
               },
               reply);
    return frame;
}

HelperRequest decodeRequest(const HelperFrame& frame) {
    FieldReader in(frame.fields);
    HelperRequest request;
    switch (static_cast<HelperMessage>(frame.message)) {
    case HelperMessage::hello:
        request = HelloRequest{};
        break;
    case HelperMessage::quit:
        request = QuitRequest{};
        break;
    case HelperMessage::scan:
        request = ScanRequest{in.string()};
        break;
    case HelperMessage::scanProgress:
        request = ScanProgressRequest{};
        break;
    case HelperMessage::cancelScan:
        request = CancelScanRequest{};
        break;
    case HelperMessage::trashOwner:
        request = TrashOwnerRequest{in.string()};
        break;
    case HelperMessage::moveToTrash: {
        MoveToTrashRequest r;
        r.path = in.string();
        r.scannedSince = in.float64();
        request = std::move(r);
        break;
    }
    case HelperMessage::putBack: {
        PutBackRequest r;
        r.inTrash = in.string();
        r.original = in.string();
        r.device = in.int32();
        r.inode = in.uint64();
        request = std::move(r);
        break;
    }
    default:
        unknown(frame.message, "message");
    }
    in.finish();
    return request;
}

HelperReply decodeReply(const HelperFrame& frame) {
    FieldReader in(frame.fields);
    HelperReply reply;
    switch (static_cast<HelperMessage>(frame.message)) {
    case HelperMessage::hello: {
        HelloReply r;
        r.build = in.string();
        r.callerIsAdministrator = in.boolean();
        r.hasFullDiskAccess = in.boolean();
        reply = std::move(r);
        break;
    }
    case HelperMessage::quit:
        reply = QuitReply{};
        break;
    case HelperMessage::scan: {
        ScanReply r;
        r.tree = in.optionalBytes();
        r.error = in.optionalString();
        reply = std::move(r);
        break;
    }
    case HelperMessage::scanProgress: {
        ScanProgressReply r;
        r.items = in.int64();
        r.bytes = in.uint64();
        r.currentFolder = in.string();
        reply = std::move(r);
        break;
    }
    case HelperMessage::trashOwner: {
        TrashOwnerReply r;
        r.uid = in.int32();
        r.name = in.optionalString();
        r.systemItem = in.boolean();
        r.error = in.optionalString();
        reply = std::move(r);
        break;
    }
    case HelperMessage::moveToTrash: {
        MoveToTrashReply r;
        r.path = in.optionalString();
        r.owner = in.int32();
        r.device = in.int32();
        r.inode = in.uint64();
        r.error = in.optionalString();
        reply = std::move(r);
        break;
    }
    case HelperMessage::putBack:
        reply = PutBackReply{in.optionalString()};
        break;
    default: // cancelScan has no reply
        unknown(frame.message, "reply");
    }
    in.finish();
    return reply;
}

} // namespace hollowmere
