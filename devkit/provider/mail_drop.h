// Mail drops: pickup directories that stand in for a transport provider. Any fetcher fills one
// (fetchmail, getmail, mbsync, a script): a drop is a Maildir, written into its tmp/ and renamed
// into its new/. Flushing a drop moves each complete message into the store's receive folder,
// and what waits in the store's Outbox into the drop's outgoing/.
//
// A message is moved, never copied twice and never lost: on one volume a move is one rename.
// Across volumes it is copied into the destination's tmp/, renamed into place, and only then
// removed from where it was; a flush that finds a message already at its destination with the
// same content (the previous flush ended between those steps) only removes the original.
#pragma once
#include "mapi.h"
#include "maildir_store.h"

#include <optional>
#include <string>
#include <vector>

namespace maildir {

struct MailDrop {
    std::string name; // UTF-8, as configured
    devkit::fs::path directory;
};

// "name=directory" pairs separated by ';'. Pairs without a name or a directory, and later
// pairs with a name already given, are left out.
std::vector<MailDrop> parseMailDrops(const std::wstring& setting);

inline constexpr char outboxFolder[] = "IPM_SUBTREE/Outbox";

// Why flushing the drop would harm the store, or nothing: a drop that lies inside the store
// (the Inbox, the Calendar, the root) or whose new/, cur/, tmp/ or outgoing/ is a link.
std::optional<std::string> dropRefusal(const MailDrop& drop, const devkit::MaildirStore& store);

// FLUSH_UPLOAD and FLUSH_DOWNLOAD of one drop: MAPI_E_NETWORK_ERROR when its directory is
// missing, MAPI_E_NO_ACCESS when it is refused, the first failure otherwise; the messages
// before a failure stay moved. Only plain files are taken, through the handle that checked
// them (see drop_files.h); anything else stays and is named once in the failure trace.
HRESULT flushMailDrop(const MailDrop& drop, devkit::MaildirStore& store, ULONG flags);

} // namespace maildir
