// Appointments read from test texts, and the next alarm they give.
#pragma once

#include "appointment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace devkit::ical::test {

inline Appointment parsed(const std::string& text) {
    std::string error;
    auto appointment = Appointment::parse(text, error);
    EXPECT_TRUE(appointment) << error;
    return appointment ? std::move(*appointment) : Appointment();
}

// The instant of the next alarm at or after the moment; -1 when there is none.
inline std::int64_t nextAt(const Appointment& appointment, std::int64_t moment) {
    const auto next = appointment.nextAlarm(moment);
    return next ? next->at : -1;
}

} // namespace devkit::ical::test
