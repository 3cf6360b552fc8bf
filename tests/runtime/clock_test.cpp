#include "runtime/clock.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace folvex {
namespace {

class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (m_hadOld) {
            m_old = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }

    ~ScopedTimeZone()
    {
        if (m_hadOld) {
            ::setenv("TZ", m_old.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

TEST(ClockTest, FormatsTheTokens)
{
    struct Row
    {
        std::int64_t seconds;
        const char* mask;
        const char* expected;
    };

    const Row rows[] = {
        {0, "%yyyy-%mm-%dd %hh:%ii:%ss", "1970-01-01 00:00:00"},
        {1765368000, "%dd.%mm.%yyyy", "10.12.2025"},
        {951825661, "%yyyy%mm%dd%hh%ii%ss", "20000229120101"},
        {1765368000, "Datum: %dd (%x) %", "Datum: 10 (%x) %"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mask);
        EXPECT_EQ(FormatDate(row.mask, row.seconds), row.expected);
    }
}

TEST(ClockTest, DateIsLocalTimeOfTheClock)
{
    const testing::FixedClock clock(1765368000);
    {
        const ScopedTimeZone zone("UTC");
        EXPECT_EQ(Date(clock), 1765368000);
    }
    {
        const ScopedTimeZone zone("Europe/Berlin");
        EXPECT_EQ(Date(clock), 1765368000 + 3600);
        EXPECT_EQ(FormatDate("%hh:%ii", Date(clock)), "13:00");
    }
}

TEST(ClockTest, ProgramClockCanBePinned)
{
    const testing::FixedClock clock(42);
    setProgramClock(&clock);
    EXPECT_EQ(programClock().utcSeconds(), 42);
    setProgramClock(nullptr);
    EXPECT_GT(programClock().utcSeconds(), 1700000000);
}

} // namespace
} // namespace folvex
