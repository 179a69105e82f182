#pragma once

#include <ctime>

struct LocalTime {
    int year;
    int month;  // 1 to 12
    int day;
    int hour;
    int minute;
    int second;
    int millisecond;
};

LocalTime CurrentLocalTime();

// `seconds` in the calendar of the machine's time zone.
std::tm LocalCalendar(std::time_t seconds);
