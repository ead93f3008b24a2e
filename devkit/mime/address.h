// Extraction of the sender mailbox from an address header such as From.
#pragma once

#include <string>
#include <string_view>

namespace devkit {

struct Mailbox {
    std::string displayName; // UTF-8, encoded words decoded; may be empty
    std::string address;     // bare address as written ("user@example.com")
};

// Returns the first mailbox of an address list. Handles
//   "Quoted \"Name\"" <a@b>,  Name <a@b>,  <a@b>,  a@b,  a@b (Old Style Name),
//   Group: a@b, c@d;  and obsolete routes <@relay:a@b>.
// When there is no display name, the comment of an old-style address is used.
// An empty group ("undisclosed-recipients:;") gives the group name and no
// address. Words without angle brackets and without an '@' outside quotes are
// a name only, except a single bare word such as "MAILER-DAEMON", which is a
// local address.
Mailbox parseFirstMailbox(std::string_view headerValue);

} // namespace devkit
