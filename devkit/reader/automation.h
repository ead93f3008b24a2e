// The reader's object model, a subset of a mail client's: Application.GetNamespace("MAPI")
// gives a NameSpace; NameSpace.Logon takes up to four optional arguments; NameSpace.
// GetItemFromID(entry, [store]) gives the MailItem of the development store's message; and
// MailItem.Display opens it in a reader window. Each call is logged.
#pragma once
#include "item_lookup.h"

#include <windows.h>

namespace reader {

// The dispatch identifiers that callers use without asking for them by name.
inline constexpr DISPID dispidGetNamespace = 0x110;
inline constexpr DISPID dispidLogon = 0x2105;
inline constexpr DISPID dispidGetItemFromID = 0x2109;
inline constexpr DISPID dispidDisplay = 0xF106;

// Each returns an object with one reference for the caller, or null.
IDispatch* newApplication();
IDispatch* newNameSpace();
IDispatch* newMailItem(devkit::ReaderMessage message);

} // namespace reader
