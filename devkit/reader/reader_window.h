// The kit's reader window: one message with From, To, Date and Subject above its body, titled
// with the subject. Each message has one window: displaying a message whose window is open
// brings that window forward, as a mail client does.
#pragma once
#include "item_lookup.h"

#include <windows.h>

namespace reader {

inline constexpr wchar_t readerWindowClass[] = L"MaildirReaderWindow";
// The value fields, for whoever reads the window from outside.
enum ReaderField { fieldFrom = 101, fieldTo, fieldDate, fieldSubject, fieldBody };

// Opens and shows the message's window, or brings it forward when it is open already; null
// when it cannot be made.
HWND openReaderWindow(const devkit::ReaderMessage& message);

} // namespace reader
