// The embedded click: a complete RIFF/WAVE image in memory, in the layout
// players expect, with the sound the click is meant to have.
#include <doctest.h>

#include "delay.h"

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>

namespace {

const unsigned char *Wav()
{
    return static_cast<const unsigned char *>(g_SndMem);
}

unsigned U32(size_t off)
{
    const unsigned char *p = Wav() + off;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned>(p[3]) << 24;
}

unsigned U16(size_t off)
{
    return Wav()[off] | Wav()[off + 1] << 8;
}

std::string Id(size_t off)
{
    return std::string(reinterpret_cast<const char *>(Wav()) + off, 4);
}

const size_t kData = 58, kFrames = 3753;

int Left(size_t frame)
{
    return static_cast<short>(U16(kData + 4 * frame));
}

int Right(size_t frame)
{
    return static_cast<short>(U16(kData + 4 * frame + 2));
}

} // namespace

TEST_SUITE("sample") {

TEST_CASE("the chunks and their fields stand where players look for them")
{
    CHECK(Id(0) == "RIFF");
    CHECK(U32(4) == 15118);
    CHECK(Id(8) == "WAVE");
    CHECK(Id(12) == "fmt ");
    CHECK(U32(16) == 18);
    CHECK(U16(20) == 1);         // PCM
    CHECK(U16(22) == 2);
    CHECK(U32(24) == 44100);
    CHECK(U32(28) == 176400);
    CHECK(U16(32) == 4);
    CHECK(U16(34) == 16);
    CHECK(U16(36) == 0);
    CHECK(Id(38) == "fact");
    CHECK(U32(42) == 4);
    CHECK(U32(46) == kFrames);
    CHECK(Id(50) == "data");
    CHECK(U32(54) == 15012);
    CHECK(Id(15070) == "LIST");
    CHECK(U32(15074) == 48);
    CHECK(Id(15078) == "INFO");
    CHECK(Id(15082) == "ICRD");
    CHECK(U32(15086) == 11);
    CHECK(std::memcmp(Wav() + 15090, "1999-04-20\0\0", 12) == 0);
    CHECK(Id(15102) == "ISFT");
    CHECK(U32(15106) == 16);
    CHECK(std::strlen(reinterpret_cast<const char *>(Wav()) + 15110) == 15);
    CHECK(Wav()[15125] == 0);
    CHECK(U16(15126) == 0);      // fill of the last array element
    CHECK(8 + U32(4) == 15126);
}

TEST_CASE("a short one-sided click at about 2.1 kHz, the same on both channels")
{
    for (size_t f = 0; f < kFrames; f++)
        REQUIRE(Left(f) == Right(f));
    for (size_t f = 0; f < 40; f++)
        CHECK(std::abs(Left(f)) <= 100);
    for (size_t f = 82 * 441 / 10; f < kFrames; f++)     // from 82 ms on
        CHECK(std::abs(Left(f)) <= 100);

    // pulses: rising edges every 20 or 21 frames during the first 10 ms
    size_t last = 0, edges = 0;
    for (size_t f = 41; f < 481; f++)
        if (Left(f) > 10000 && Left(f - 1) < 5000) {
            if (last) {
                CHECK(f - last >= 20);
                CHECK(f - last <= 21);
            }
            last = f;
            edges++;
        }
    CHECK(edges >= 20);
    // gone by 45 ms, under a negative offset of at most 2500
    int low = 0;
    for (size_t f = 45 * 441 / 10; f < kFrames; f++) {
        CHECK(Left(f) <= 0);
        low = std::min(low, Left(f));
    }
    CHECK(low >= -2500);
    CHECK(low <= -2000);
}

} // TEST_SUITE
