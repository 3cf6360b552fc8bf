#include "runtime/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace folvex {

namespace {

std::atomic<const Clock*> installedClock{nullptr};

std::string twoDigits(int value)
{
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

} // namespace

std::int64_t SystemClock::utcSeconds() const
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const Clock& programClock()
{
    static const SystemClock systemClock;
    const Clock* clock = installedClock.load();
    return clock != nullptr ? *clock : systemClock;
}

void setProgramClock(const Clock* clock)
{
    installedClock.store(clock);
}

std::int64_t localOffsetSeconds(std::int64_t utcSeconds)
{
    const std::time_t instant = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (localtime_r(&instant, &local) == nullptr) {
        return 0;
    }
    return local.tm_gmtoff;
}

std::int64_t Date(const Clock& clock)
{
    const std::int64_t utc = clock.utcSeconds();
    return utc + localOffsetSeconds(utc);
}

std::int64_t Date()
{
    return Date(programClock());
}

std::string FormatDate(std::string_view mask, std::int64_t localSeconds)
{
    const std::time_t instant = static_cast<std::time_t>(localSeconds);
    std::tm fields{};
    gmtime_r(&instant, &fields);
    std::string out;
    std::size_t pos = 0;
    while (pos < mask.size()) {
        const std::string_view rest = mask.substr(pos);
        if (rest.starts_with("%yyyy")) {
            out += std::to_string(fields.tm_year + 1900);
            pos += 5;
        } else if (rest.starts_with("%mm")) {
            out += twoDigits(fields.tm_mon + 1);
            pos += 3;
        } else if (rest.starts_with("%dd")) {
            out += twoDigits(fields.tm_mday);
            pos += 3;
        } else if (rest.starts_with("%hh")) {
            out += twoDigits(fields.tm_hour);
            pos += 3;
        } else if (rest.starts_with("%ii")) {
            out += twoDigits(fields.tm_min);
            pos += 3;
        } else if (rest.starts_with("%ss")) {
            out += twoDigits(fields.tm_sec);
            pos += 3;
        } else {
            out += mask[pos];
            ++pos;
        }
    }
    return out;
}

} // namespace folvex
