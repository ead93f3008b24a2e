// The notification history: the 20 newest mails in the list view, newest on top. Each line
// owns a copy of its mail's entry identifier.
#pragma once
#include <windows.h>
#include <cstdint>

struct HistoryItem {
    BYTE* entryId;
    uint32_t entryIdSize;
};

inline constexpr int historyLimit = 20;

struct MailForDisplay;

// Adds the mail at the top, after removing the oldest line when the list is full. The line
// shows the sender and subject already read for the window, so the two never disagree.
void addHistoryEntry(const MailForDisplay& mail);

// Which line showHistoryEntry shows: the focused one after a click, the selected one after a
// deletion.
enum class HistoryLine { focused, selected };

// Makes the line's mail the mail now shown; a line whose mail is gone is removed instead.
void showHistoryEntry(HistoryLine which);

// The line's record, or nothing.
HistoryItem* historyItemAt(int index);
// Frees the line's record and deletes the line.
void removeHistoryLine(int index);
// Gives the top line the selected and focused states (and clears cut and drop-highlight).
void selectTopHistoryLine();
