// The beat grid on its own: exact quarter lengths, and the clock's wrap.
#include <doctest.h>

#include "beat.h"

TEST_SUITE("beat") {

TEST_CASE("a quarter lasts exactly 60000/tempo ms")
{
    CHECK(BeatLength(120) == BeatTime(500));
    CHECK(BeatLength(300) == BeatTime(200));
    CHECK(BeatLength(12) == BeatTime(5000));
    // 461.538461... ms: the fraction is kept, not cut to 461
    const BEATTIME q130 = BeatLength(130);
    CHECK((q130 >> 32) == 461);
    CHECK(BeatTime(60000) - 130 * q130 < 130);      // 130 quarters: a minute to within 130 * 2^-32 ms
}

TEST_CASE("the first beat of a run waits for the rest of the last interval")
{
    BEATTIME due = 0;
    CHECK_FALSE(BeatTest(1200, 1000, 500, 120, 1, &due));
    CHECK(BeatTest(1500, 1000, 500, 120, 1, &due));
    CHECK(due == BeatTime(1500));
}

TEST_CASE("beats keep their times across the wrap of the 32-bit clock")
{
    BEATTIME due = 0;
    const unsigned long start = 0xFFFFFF00UL;       // 256 ms before the wrap
    REQUIRE(BeatTest(start, 0, 500, 120, 1, &due));
    int beats = 0;
    unsigned long last = start;
    for (unsigned long t = start + 10; t != ((start + 3010) & 0xFFFFFFFFUL); t = (t + 10) & 0xFFFFFFFFUL)
        if (BeatTest(t, last, 500, 120, 0, &due)) {
            beats++;
            CHECK(((t - start) & 0xFFFFFFFFUL) % 500 == 0);
            last = t;
        }
    CHECK(beats == 6);
}

} // TEST_SUITE
