// Maildir file names: "UNIQUE" in new/, "UNIQUE;2,FLAGS" in cur/.
//
// The classic separator before "2," is ':', which Windows does not allow in
// file names. Names are therefore read with ':', ';' or '!' and written with
// ';'. The unique part is what identifies a message: it survives the move
// from new/ to cur/ and every change of flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace devkit {

inline constexpr char kMaildirInfoSeparator = ';';

struct MaildirName {
    std::string unique;
    std::string flags;    // as written in the name (normally "DFPRST" subset)
    bool hasInfo = false; // the name carried a ":2," (or ";2,", "!2,") part
};

// Splits a file name at its last info separator followed by "2," (or the
// experimental "1,", whose info is not flags). Names without one are all
// unique part.
MaildirName splitMaildirName(std::string_view fileName);

// Flags in ASCII order without duplicates; anything but ASCII letters dropped.
std::string normalizeFlags(std::string_view flags);

bool hasFlag(std::string_view flags, char flag);

// "UNIQUE;2,FLAGS" with normalised flags, as stored in cur/.
std::string makeMaildirName(std::string_view unique, std::string_view flags);

// A unique name "TIME.PpidQcounter.HOST" (P: process id, Q: delivery count of
// that process). The host is made safe for a file name on any system: path
// and separator characters, characters Windows forbids, control and non-ASCII
// bytes become '_', trailing dots and spaces (which Windows would strip) are
// removed, and the length is capped. An empty result becomes "localhost".
std::string makeUniqueName(std::int64_t time, std::uint32_t pid, std::uint64_t counter,
                           std::string_view host);

std::string sanitizeHostName(std::string_view host);

} // namespace devkit
