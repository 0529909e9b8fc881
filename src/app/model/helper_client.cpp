#include "helper_client.h"

#include "helper_channel.h"
#include "pause.h"
#include "wording.h"

#include "helperlink/administrator.h"
#include "helperlink/build_string.h"
#include "helperlink/failure_words.h"
#include "helperlink/install_layout.h"
#include "scankit/cancellation.h"

#include <QLoggingCategory>
#include <QScopeGuard>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <memory>
#include <utility>

namespace hollowmere {

namespace {

Q_LOGGING_CATEGORY(helperTrace, "hollowmere.helper")

constexpr const char* context = "HelperClient";

// The sentence for each of the helper's words; any other word follows refusedPrefix.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> sentences = {{
    {FailureWords::notAnAdministrator, "Only an administrator of this Mac can use Hollowmere as an administrator."},
    {FailureWords::vital, "macOS needs this folder: it stays where it is."},
    {FailureWords::taken, "Something else is in its place now."},
    {FailureWords::folderGone, "The folder it was in is gone."},
    {FailureWords::pathChanged, "Its folder has changed since the scan: rescan it and try again."},
    {FailureWords::unsafeTrash, "The Trash it would go to isn't an ordinary folder: it stays where it is."},
    {FailureWords::replaced, "Another item has its name in the Trash now: it stays there."},
    {FailureWords::changedSinceScan, "It was made after the scan began: rescan, then try again."},
}};
constexpr std::string_view refusedPrefix = "The helper couldn't do it: ";
constexpr std::string_view connectionPrefix = "Hollowmere couldn't reach its helper: ";
constexpr std::string_view unavailableSentence = "This copy of Hollowmere can't scan as an administrator.";
constexpr std::string_view notEnabledSentence = "Hollowmere isn't allowed to work as an administrator yet.";

std::optional<std::string_view> sentenceFor(const std::string& word) {
    for (const auto& [known, sentence] : sentences) {
        if (word == known) return sentence;
    }
    return std::nullopt;
}

bool isRegularFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

HelperClient::State stateOf(HelperRegistration::Status status) {
    switch (status) {
    case HelperRegistration::Status::enabled:
        return HelperClient::State::enabled;
    case HelperRegistration::Status::requiresApproval:
        return HelperClient::State::requiresApproval;
    case HelperRegistration::Status::notRegistered:
        break;
    }
    return HelperClient::State::notRegistered;
}

// The reply to a request sent, or the connection's failure.
template <typename T> T replyAs(HelperChannel::Outcome outcome) {
    if (!outcome.reply) throw HelperClient::Failure::connection(std::move(outcome.error));
    return std::get<T>(std::move(*outcome.reply));
}

} // namespace

// Failure

HelperClient::Failure::Failure(Case kind, std::string payload)
    : case_(kind)
    , payload_(std::move(payload))
    , english_(Wording::forLinux(sentence())) {}

std::string HelperClient::Failure::sentence() const {
    switch (case_) {
    case Case::connection:
        return std::string(connectionPrefix) + payload_;
    case Case::refused:
        if (const auto known = sentenceFor(payload_)) return std::string(*known);
        return std::string(refusedPrefix) + payload_;
    case Case::unavailable:
        return std::string(unavailableSentence);
    case Case::notEnabled:
        return std::string(notEnabledSentence);
    }
    return {};
}

QString HelperClient::Failure::description() const {
    // The payload is the helper's or the system's own text: never a key.
    switch (case_) {
    case Case::connection:
        return Wording::text(context, connectionPrefix) + QString::fromStdString(payload_);
    case Case::refused:
        if (const auto known = sentenceFor(payload_)) return Wording::text(context, *known);
        return Wording::text(context, refusedPrefix) + QString::fromStdString(payload_);
    case Case::unavailable:
        return Wording::text(context, unavailableSentence);
    case Case::notEnabled:
        return Wording::text(context, notEnabledSentence);
    }
    return {};
}

// HelperClient

HelperClient::HelperClient(std::unique_ptr<HelperRegistration> registration, SettingsStore& settings, QObject* parent)
    : HelperClient(std::move(registration), settings, Options{}, parent) {}

HelperClient::HelperClient(std::unique_ptr<HelperRegistration> registration, SettingsStore& settings, Options options,
                           QObject* parent)
    : QObject(parent)
    , registration_(std::move(registration))
    , settings_(settings)
    , options_(std::move(options)) {
    helperHasFullDiskAccess_ = settings_.boolean(QLatin1String(fullDiskAccessKey));
    isAdministrator_ = Administrator::test(::getuid());
    appIdentifier_ = std::string(ServiceNames::appIdentifier);
    const std::string app = options_.appExecutable.empty() ? InstallLayout::ownExecutable().value_or(std::string())
                                                           : options_.appExecutable;
    // A helper serves only an app that nobody but root can change: any other copy has none.
    if (!app.empty() && !InstallLayout::unsafeFile(app)) {
        team_ = std::filesystem::path(app).parent_path().parent_path().string();
    }
    if (!app.empty()) {
        const std::string helper = InstallLayout::helperOf(app);
        if (isRegularFile(helper)) embeddedHelper_ = helper;
    }
    refreshState();
}

HelperClient::~HelperClient() = default;

bool HelperClient::isConnected() const {
    return connection_ && connection_->isOpen();
}

void HelperClient::refreshState() {
    const State state = team_ && embeddedHelper_ ? stateOf(registration_->status()) : State::unavailable;
    if (state == state_) return;
    state_ = state;
    Q_EMIT stateChanged(state_);
}

QCoro::Task<> HelperClient::registerHelper() {
    if (state_ == State::unavailable) co_return;
    if (const std::optional<QString> error = co_await registration_->enable()) {
        qCInfo(helperTrace).noquote() << "helper: register said" << *error;
    }
    refreshState();
}

QString HelperClient::helperName() const {
    return tr("Hollowmere Helper");
}

HelperChannel& HelperClient::connection() {
    if (connection_ && connection_->isOpen()) return *connection_;
    auto* channel =
        new HelperChannel(options_.connect ? options_.connect() : HelperConnection::connect(options_.socketPath), this);
    // A connection that ends is dropped, unless another has taken its place already.
    connect(channel, &HelperChannel::closed, this, [this, channel] {
        if (connection_ == channel) connection_ = nullptr;
        channel->deleteLater();
    });
    connection_ = channel;
    return *channel;
}

void HelperClient::dropConnection() {
    if (!connection_) return;
    HelperChannel* channel = connection_;
    connection_ = nullptr;
    channel->close("the connection was closed");
    channel->deleteLater();
}

HelperChannel::Reply HelperClient::send(const HelperRequest& request) {
    if (state_ == State::unavailable) throw Failure::unavailable();
    if (state_ != State::enabled) throw Failure::notEnabled();
    try {
        return connection().request(request);
    } catch (const HelperConnection::Error& error) {
        throw Failure::connection(error.message());
    }
}

QCoro::Task<HelperClient::Hello> HelperClient::hello() {
    HelperChannel::Reply pending = send(HelloRequest{});
    HelperChannel::Outcome outcome = co_await pending;
    const auto reply = replyAs<HelloReply>(std::move(outcome));
    co_return Hello{reply.build, reply.callerIsAdministrator, reply.hasFullDiskAccess};
}

QCoro::Task<> HelperClient::quit() {
    try {
        HelperChannel::Reply pending = send(QuitRequest{});
        co_await pending;
    } catch (const Failure&) {
        // The helper is gone or was never there: either way it is not running now.
    }
    // The next call starts a fresh helper.
    dropConnection();
}

QCoro::Task<HelperClient::Hello> HelperClient::checkHelper(std::stop_token stop) {
    QCoro::Task<Hello> first = hello();
    Hello answer = co_await first;
    if (embeddedHelper_) {
        std::string expected = BuildString::of(*embeddedHelper_);
        if (answer.build != expected) {
            qCInfo(helperTrace).noquote()
                << "helper: build" << QString::fromStdString(answer.build) << "is stale, asking it to quit";
            co_await quit();
            expected = BuildString::of(*embeddedHelper_);
            QCoro::Task<Hello> afterQuit = hello();
            answer = co_await afterQuit;
            // The old helper may still be answering while it winds down: ask again on fresh
            // connections until the new one does.
            for (int attempt = 0; attempt < options_.restartAttempts && answer.build != expected; ++attempt) {
                co_await pause(options_.restartPause, stop);
                dropConnection();
                try {
                    QCoro::Task<Hello> again = hello();
                    answer = co_await again;
                } catch (const Failure&) {
                    // Keep the last answer.
                }
            }
            if (answer.build != expected) {
                qCInfo(helperTrace).noquote()
                    << "helper: still build" << QString::fromStdString(answer.build) << "after the restart";
            }
        }
    }
    setHelperHasFullDiskAccess(answer.hasFullDiskAccess);
    co_return answer;
}

QCoro::Task<FileTree> HelperClient::scan(std::string path, std::stop_token stop) {
    const Date requested = Clock::now();
    // A stop request may come from any thread; cancelScan runs here, after the scan was sent,
    // and only while this scan is still waiting: a late one must not stop the next scan.
    const auto waiting = std::make_shared<bool>(true);
    const auto done = qScopeGuard([waiting] { *waiting = false; });
    std::stop_callback forward(stop, [this, waiting] {
        QMetaObject::invokeMethod(
            this,
            [this, waiting] {
                if (*waiting) cancelScan();
            },
            Qt::QueuedConnection);
    });
    HelperChannel::Reply pending = send(ScanRequest{std::move(path)});
    HelperChannel::Outcome outcome = co_await pending;
    auto reply = replyAs<ScanReply>(std::move(outcome));
    if (!reply.tree) {
        if (reply.error == FailureWords::cancelled) throw CancellationError();
        throw Failure::refused(reply.error.value_or(std::string()));
    }
    FileTree tree{std::span<const uint8_t>(*reply.tree)};
    tree.setScannedAt(requested);
    co_return tree;
}

QCoro::Task<DiskScanner::Progress> HelperClient::progress() {
    HelperChannel::Reply pending = send(ScanProgressRequest{});
    HelperChannel::Outcome outcome = co_await pending;
    auto reply = replyAs<ScanProgressReply>(std::move(outcome));
    co_return DiskScanner::Progress{reply.items, reply.bytes, std::move(reply.currentFolder)};
}

void HelperClient::cancelScan() {
    if (connection_ && connection_->isOpen()) connection_->post(CancelScanRequest{});
}

QCoro::Task<HelperClient::TrashOwner> HelperClient::trashOwner(std::string path) {
    HelperChannel::Reply pending = send(TrashOwnerRequest{std::move(path)});
    HelperChannel::Outcome outcome = co_await pending;
    auto reply = replyAs<TrashOwnerReply>(std::move(outcome));
    if (reply.error) throw Failure::refused(std::move(*reply.error));
    co_return TrashOwner{static_cast<uint32_t>(reply.uid), std::move(reply.name), reply.systemItem};
}

QCoro::Task<HelperClient::Moved> HelperClient::moveToTrash(std::string path, Date scanDate) {
    // Whole seconds and the fraction apart: a count of nanoseconds since 1970 has more digits
    // than a double keeps.
    const auto whole = std::chrono::floor<std::chrono::seconds>(scanDate.time_since_epoch());
    const double since =
        static_cast<double>(whole.count()) + std::chrono::duration<double>(scanDate.time_since_epoch() - whole).count();
    HelperChannel::Reply pending = send(MoveToTrashRequest{std::move(path), since});
    HelperChannel::Outcome outcome = co_await pending;
    auto reply = replyAs<MoveToTrashReply>(std::move(outcome));
    if (!reply.path) throw Failure::refused(reply.error.value_or(std::string()));
    co_return Moved{std::move(*reply.path), static_cast<uint32_t>(reply.owner),
                    FileIdentity(reply.device, reply.inode)};
}

QCoro::Task<> HelperClient::putBack(std::string inTrash, std::string original, FileIdentity identity) {
    HelperChannel::Reply pending =
        send(PutBackRequest{std::move(inTrash), std::move(original), identity.device, identity.inode});
    HelperChannel::Outcome outcome = co_await pending;
    auto reply = replyAs<PutBackReply>(std::move(outcome));
    if (reply.error) throw Failure::refused(std::move(*reply.error));
}

void HelperClient::setHelperHasFullDiskAccess(std::optional<bool> value) {
    if (value == helperHasFullDiskAccess_) return;
    helperHasFullDiskAccess_ = value;
    settings_.setBoolean(QLatin1String(fullDiskAccessKey), value);
    Q_EMIT helperHasFullDiskAccessChanged();
}

} // namespace hollowmere
