#pragma once
// Time as the program sees it: an injectable clock, "Date()" seconds in local time and date texts
// built from "%yyyy", "%mm", "%dd", "%hh", "%ii", "%ss". Any thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace folvex {

class Clock
{
public:
    virtual ~Clock() = default;

    // Seconds since 1970-01-01 00:00:00 UTC.
    virtual std::int64_t utcSeconds() const = 0;
};

class SystemClock final : public Clock
{
public:
    std::int64_t utcSeconds() const override;
};

// The process-wide clock of the program; tests pin it with setProgramClock.
const Clock& programClock();

// Installs a clock (nullptr restores the system clock). The clock must outlive its use.
void setProgramClock(const Clock* clock);

// Offset of local time (TZ honoured) from UTC at the given instant, in seconds.
std::int64_t localOffsetSeconds(std::int64_t utcSeconds);

// Seconds since 1970-01-01 00:00:00 in local time: the clock's instant plus the local offset.
std::int64_t Date();

std::int64_t Date(const Clock& clock);

// Replaces the tokens "%yyyy", "%mm", "%dd", "%hh", "%ii", "%ss" in mask by the fields of a local-time
// seconds value (as Date() returns it), two digits each but the year; other text is kept.
std::string FormatDate(std::string_view mask, std::int64_t localSeconds);

} // namespace folvex
