#pragma once

#include <cstdio>
#include <initializer_list>
#include <mutex>
#include <string>

namespace hollowmere {

// The helper's log: the systemd journal when the helper runs as a service (its standard error
// is the journal stream), standard error otherwise. Paths are private: a line shows
// "<private>" in their place at its own level, and the clear text only in a companion line at
// debug level, which goes to the journal alone (readable by administrators only).
class HelperLog {
public:
    // One part of a line; private parts are paths.
    struct Piece {
        Piece(std::string text)
            : text(std::move(text)) {}
        Piece(const char* text)
            : text(text) {}
        std::string text;
        bool isPrivate = false;
    };

    static Piece privately(std::string text) {
        Piece piece(std::move(text));
        piece.isPrivate = true;
        return piece;
    }

    static constexpr const char* defaultSubsystem = "Hollowmere Helper";

    // `stream` takes the lines when the journal does not (standard error by default).
    explicit HelperLog(std::string subsystem = defaultSubsystem, std::FILE* stream = stderr);

    // Error level, and the default level of the helper's lines (notice).
    void error(std::initializer_list<Piece> pieces);
    void notice(std::initializer_list<Piece> pieces);

    bool toJournal() const { return toJournal_; }

private:
    void write(int priority, std::initializer_list<Piece> pieces);

    std::string subsystem_;
    std::FILE* stream_;
    bool toJournal_;
    std::mutex streamMutex_; // keeps lines whole
};

} // namespace hollowmere
