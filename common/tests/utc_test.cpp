// One UTC formatter: the records' clock times, the store's and the report's
// millisecond times all come out of utc_text.
#include "common/text_format.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(UtcText, DaysTimesAndTheFormsForPeople) {
    constexpr std::int64_t kDay = 86400000;
    EXPECT_EQ(deve::utc_text(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(deve::utc_text(86401250), "1970-01-02T00:00:01.250Z");
    // 2026-12-08T14:30:05.250Z and its neighbours across a leap day.
    EXPECT_EQ(deve::utc_text(1796740205250), "2026-12-08T14:30:05.250Z");
    EXPECT_EQ(deve::utc_minute(1796740205250), "2026-12-08 14:30");
    EXPECT_EQ(deve::utc_day(1796740205250), "2026-12-08");
    EXPECT_EQ(deve::utc_day(951782400000), "2000-02-29");
    EXPECT_EQ(deve::utc_day(951782400000 + kDay), "2000-03-01");
    // Before 1970 the day and the time of day both count back.
    EXPECT_EQ(deve::utc_text(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(deve::utc_text(-kDay), "1969-12-31T00:00:00.000Z");
}

TEST(UtcText, AClockTimeIsItsMillisecondTextTruncated) {
    for (const std::int64_t ms : {0LL, 86401250LL, 1796740205250LL, -500LL, -86400001LL}) {
        const system_clock::time_point when{milliseconds(ms)};
        EXPECT_EQ(deve::utc_timestamp(when), deve::utc_text(ms)) << ms;
        // Below the millisecond the time is cut, never rounded up.
        EXPECT_EQ(deve::utc_timestamp(when + std::chrono::microseconds(999)), deve::utc_text(ms)) << ms;
    }
}

}  // namespace
