// Finding the calendar folder of a mailbox whose calendar is not called "Calendar".
#pragma once
#include "app/handles.h"

#include <mapix.h>

// The folder that the store names its calendar in PR_IPM_APPOINTMENT_ENTRYID, read from the
// Inbox and else from the root folder, as real stores set it ("Kalender", "Calendrier" in
// localized mailboxes); a copy in a MAPI buffer and its size, or nothing.
MapiBuffer<BYTE> appointmentFolderId(IMsgStore* store, ULONG& size);
