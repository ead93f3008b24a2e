// The MAPI session: logon to the default profile, the default store, its IPM subtree, and the
// advise sinks on the Inbox, its direct subfolders and the calendar folders.
#pragma once

// 1 when the session, the store and the registrations are in place; 0 on any failure, after
// telling the user only about a failed logon.
int startMailSession();
