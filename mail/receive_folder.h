// The Inbox's identifier as the store names it: the receive folder of IPM messages.
#pragma once
#include "app/handles.h"

#include <mapix.h>

// Traced when the store fails; `id` may still be empty when it succeeds.
HRESULT inboxEntryId(IMsgStore* store, ULONG& size, MapiBuffer<ENTRYID>& id);
