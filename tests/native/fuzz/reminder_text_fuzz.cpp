// Any time-zone description, subject, location and reminder moment makes a block whose three
// texts stay inside their slots.
#include "calendar/reminder_text.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Ticks moment = 0;
    const std::size_t head = std::min(size, sizeof moment);
    std::memcpy(&moment, data, head);
    const std::string text(reinterpret_cast<const char*>(data + head), size - head);

    const std::string line = reminderDateLine(moment, zoneOffsetMinutes(text));
    char block[reminderBlockSize];
    writeReminderBlock(block, text.c_str(), text.c_str(), line);
    if (block[locationSlot - 1] != 0 || block[dateSlot - 1] != 0 ||
        block[reminderBlockSize - 1] != 0)
        __builtin_trap();
    return 0;
}
