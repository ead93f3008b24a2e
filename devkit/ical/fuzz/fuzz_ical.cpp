// libFuzzer entry point: arbitrary bytes as an iCalendar file. Parsing and every question the
// store asks of an appointment must end, within the kit's limits, without a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "appointment.h"
#include "utf8.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace devkit::ical;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto appointment = Appointment::parse(input, error);
    if (!appointment) {
        require(!error.empty());
        return 0;
    }
    for (const std::string* text :
         {&appointment->event().summary, &appointment->event().location}) {
        require(devkit::isValidUtf8(*text));
        require(text->size() <= kMaxTextBytes);
        for (char c : *text)
            require(static_cast<unsigned char>(c) >= ' ');
    }
    appointment->setLocalZone([](std::int64_t wall) { return wall - 3600; });
    const std::int64_t moment = 1796601600; // 2026-12-07 00:00 UTC
    if (const auto next = appointment->nextAlarm(moment)) {
        require(next->at >= moment);
        (void)appointment->zoneDescription(*next->event, next->at);
        if (const auto later = appointment->nextAlarm(next->at + 1))
            require(later->at > next->at);
    }
    if (const auto last = appointment->lastAlarmBefore(moment))
        require(last->at < moment);
    return 0;
}
