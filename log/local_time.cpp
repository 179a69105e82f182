#include "log/local_time.h"

#include <chrono>
#include <ctime>

std::tm LocalCalendar(std::time_t seconds) {
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

LocalTime CurrentLocalTime() {
    using std::chrono::system_clock;
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto sinceEpoch = now.time_since_epoch();
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch) -
                        std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const std::tm local = LocalCalendar(seconds);
    return LocalTime{local.tm_year + 1900,
                     local.tm_mon + 1,
                     local.tm_mday,
                     local.tm_hour,
                     local.tm_min,
                     local.tm_sec,
                     static_cast<int>(millis.count())};
}
