#include "helper_log.h"

#include <sys/stat.h>
#include <syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace hollowmere {

namespace {

// systemd sets JOURNAL_STREAM to the device and inode of the stream it connected standard
// error to; a match means our standard error is the journal.
bool stderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream) return false;
    unsigned long long device = 0, inode = 0;
    if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
    struct stat status {};
    if (::fstat(STDERR_FILENO, &status) != 0) return false;
    return status.st_dev == device && status.st_ino == inode;
}

} // namespace

HelperLog::HelperLog(std::string subsystem, std::FILE* stream)
    : subsystem_(std::move(subsystem))
    , stream_(stream)
    , toJournal_(stream == stderr && stderrIsJournal()) {}

void HelperLog::error(std::initializer_list<Piece> pieces) { write(LOG_ERR, pieces); }

void HelperLog::notice(std::initializer_list<Piece> pieces) { write(LOG_NOTICE, pieces); }

void HelperLog::write(int priority, std::initializer_list<Piece> pieces) {
    std::string shown;
    std::string clear;
    bool hasPrivate = false;
    for (const Piece& piece : pieces) {
        shown += piece.isPrivate ? "<private>" : piece.text;
        clear += piece.text;
        hasPrivate = hasPrivate || piece.isPrivate;
    }
    if (toJournal_) {
        const int sent = ::sd_journal_send("MESSAGE=%s", shown.c_str(), "PRIORITY=%i", priority,
                                           "SYSLOG_IDENTIFIER=%s", subsystem_.c_str(),
                                           "HOLLOWMERE_CATEGORY=helper", nullptr);
        if (hasPrivate) {
            ::sd_journal_send("MESSAGE=%s", clear.c_str(), "PRIORITY=%i", LOG_DEBUG, "SYSLOG_IDENTIFIER=%s",
                              subsystem_.c_str(), "HOLLOWMERE_CATEGORY=helper", nullptr);
        }
        if (sent >= 0) return;
    }
    const std::string line = subsystem_ + "[" + std::to_string(::getpid()) + "]: " + shown + "\n";
    std::lock_guard lock(streamMutex_);
    std::fwrite(line.data(), 1, line.size(), stream_);
    std::fflush(stream_);
}

} // namespace hollowmere
