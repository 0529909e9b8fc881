#pragma once

#include "helper_channel.h"

#include "helperlink/helper_connection.h"
#include "helperlink/helper_message.h"
#include "helperlink/service_names.h"
#include "platform/helper_registration.h"
#include "platform/settings_store.h"
#include "scankit/disk_scanner.h"
#include "scankit/file_identity.h"
#include "scankit/file_tree.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <qcoro/qcorotask.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace hollowmere {

// The app's side of the privileged helper: whether it may be used, its registration, the one
// connection to it, and each of its messages as a call that yields the answer or throws a
// Failure with a sentence for the user. Main thread only.
class HelperClient : public QObject {
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)

public:
    enum class State {
        unavailable,      // this copy of the app cannot have a helper
        notRegistered,    // the system does not know the helper
        requiresApproval, // registered, waiting for an administrator
        enabled,          // registered and switched on
    };
    Q_ENUM(State)

    struct Hello {
        std::string build;
        bool callerIsAdministrator = false;
        bool hasFullDiskAccess = false;
        friend bool operator==(const Hello&, const Hello&) = default;
    };

    struct TrashOwner {
        uint32_t uid = 0;
        std::optional<std::string> name;
        bool systemItem = false;
        friend bool operator==(const TrashOwner&, const TrashOwner&) = default;
    };

    // Where moveToTrash put an item.
    struct Moved {
        std::string path; // in the Trash
        uint32_t owner = 0;
        FileIdentity identity;
        friend bool operator==(const Moved&, const Moved&) = default;
    };

    class Failure : public std::exception {
    public:
        enum class Case { connection, refused, unavailable, notEnabled };

        static Failure connection(std::string message) { return Failure(Case::connection, std::move(message)); }
        static Failure refused(std::string word) { return Failure(Case::refused, std::move(word)); }
        static Failure unavailable() { return Failure(Case::unavailable, {}); }
        static Failure notEnabled() { return Failure(Case::notEnabled, {}); }

        Case kind() const { return case_; }
        // The connection's message or the helper's word.
        const std::string& payload() const { return payload_; }
        // The sentence for the user, translated.
        QString description() const;
        // The same sentence in English.
        const char* what() const noexcept override { return english_.c_str(); }

        friend bool operator==(const Failure& a, const Failure& b) {
            return a.case_ == b.case_ && a.payload_ == b.payload_;
        }

    private:
        Failure(Case kind, std::string payload);
        // The untranslated sentence, as written for macOS.
        std::string sentence() const;

        Case case_;
        std::string payload_;
        std::string english_;
    };

    struct Options {
        // The app's own executable; empty: this process's.
        std::string appExecutable;
        std::string socketPath = ServiceNames::socketPath();
        // Makes each connection; empty: HelperConnection::connect(socketPath). Throws
        // HelperConnection::Error when the helper cannot be reached.
        std::function<HelperConnection()> connect;
        // The wait between handshakes while a stale helper is replaced, and how many there are.
        std::chrono::milliseconds restartPause{500};
        int restartAttempts = 30;
    };

    static constexpr const char* fullDiskAccessKey = "helperHadFullDiskAccess";

    HelperClient(std::unique_ptr<HelperRegistration> registration, SettingsStore& settings, Options options,
                 QObject* parent = nullptr);
    HelperClient(std::unique_ptr<HelperRegistration> registration, SettingsStore& settings, QObject* parent = nullptr);
    ~HelperClient() override;

    State state() const { return state_; }
    std::optional<bool> helperHasFullDiskAccess() const { return helperHasFullDiskAccess_; }
    bool isAdministrator() const { return isAdministrator_; }
    const std::string& appIdentifier() const { return appIdentifier_; }
    // The installation the app belongs to (its prefix), present only when nobody but root can
    // change the app: a helper trusts no other.
    const std::optional<std::string>& team() const { return team_; }
    // The helper executable installed with the app.
    const std::optional<std::string>& embeddedHelper() const { return embeddedHelper_; }
    bool isConnected() const;

    void refreshState();
    // Registers the helper (an administrator's password is asked for), then refreshState.
    // Never throws; the outcome shows in state. ("register" is a C++ keyword.)
    QCoro::Task<> registerHelper();
    QString helperName() const;

    // The handshake, replacing a helper left over from another build; a stop request only cuts
    // the waits short. Updates helperHasFullDiskAccess.
    QCoro::Task<Hello> checkHelper(std::stop_token stop = {});
    QCoro::Task<Hello> hello();
    // Asks the helper to quit and drops the connection. Never throws.
    QCoro::Task<> quit();
    // A scan as root. A stop request is forwarded as cancelScan; a cancelled scan throws
    // CancellationError, bytes that do not decode FileTree::TransferError.
    QCoro::Task<FileTree> scan(std::string path, std::stop_token stop = {});
    QCoro::Task<DiskScanner::Progress> progress();
    // Sends cancelScan when connected; makes no connection for it.
    void cancelScan();
    QCoro::Task<TrashOwner> trashOwner(std::string path);
    QCoro::Task<Moved> moveToTrash(std::string path, Date scanDate);
    QCoro::Task<> putBack(std::string inTrash, std::string original, FileIdentity identity);

Q_SIGNALS:
    void stateChanged(HelperClient::State state);
    void helperHasFullDiskAccessChanged();

private:
    // Every message but cancelScan: the state check and the connection, then the request on
    // its way; awaiting the result yields the reply. Not a coroutine of its own: a failure
    // before sending throws straight into the calling operation.
    //
    // gcc 12 destroys the temporaries of a full-expression that holds a co_await twice when
    // an exception leaves it: awaitables that may throw are named first and awaited in a
    // statement of their own throughout this class.
    HelperChannel::Reply send(const HelperRequest& request);
    HelperChannel& connection();
    void dropConnection();
    void setHelperHasFullDiskAccess(std::optional<bool> value);

    std::unique_ptr<HelperRegistration> registration_;
    SettingsStore& settings_;
    Options options_;

    State state_ = State::unavailable;
    std::optional<bool> helperHasFullDiskAccess_;
    bool isAdministrator_ = false;
    std::string appIdentifier_;
    std::optional<std::string> team_;
    std::optional<std::string> embeddedHelper_;
    QPointer<HelperChannel> connection_;
};

} // namespace hollowmere
