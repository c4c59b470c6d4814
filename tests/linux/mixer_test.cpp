// The click's stream without any server: the frames the mixer writes,
// checked to the frame.
#include <doctest.h>

#include "mixer.h"
#include "clickwav.h"

#include <cstddef>
#include <vector>

static std::vector<std::pair<int, int64_t>> s_Events;

static void Note(int kind, int64_t frame)
{
    s_Events.push_back({kind, frame});
}

// the sample's left channel at frame i
static short Sample(int64_t i)
{
    const unsigned char *p = (const unsigned char *)clickwav + CLICK_DATA + 4 * i;
    return (short)(p[0] | p[1] << 8);
}

static bool Loud(short v)
{
    return v > 1000 || v < -1000;
}

// where the sample's first loud frame lies in it
static int64_t SampleOnset(void)
{
    int i = 0;
    while (i < CLICK_FRAMES && !Loud(Sample(i)))
        i++;
    return i;
}

// The stream mixed chunk by chunk, its left channel kept.
struct Run {
    std::vector<short> left;
    void mix(int frames, int tempo, int beep = 0, int midi = 0, int cut = 0)
    {
        std::vector<short> buf(2 * frames);
        MixFrames(buf.data(), frames, tempo, beep, midi, cut, Note);
        for (int i = 0; i < frames; i++)
            left.push_back(buf[2 * i]);
    }
    // where a sound starts: the first loud frame after each silence
    std::vector<int64_t> onsets(int window = 2000) const
    {
        std::vector<int64_t> at;
        int64_t quiet = window;
        for (size_t i = 0; i < left.size(); i++) {
            if (Loud(left[i])) {
                if (quiet >= window)
                    at.push_back((int64_t)i);
                quiet = 0;
            } else {
                quiet++;
            }
        }
        return at;
    }
};

TEST_SUITE("mixer") {

TEST_CASE("every beat on round(n x 44100 x 60 / tempo), its sound 4410 frames after, the sample whole")
{
    Run r;
    MixStart(0, 298);
    for (int i = 0; i < 100; i++)
        r.mix(441, 298);                    // 1 s in the stream's chunks
    std::vector<int64_t> on = r.onsets();
    REQUIRE(on.size() == 5);
    for (size_t n = 0; n < on.size(); n++)
        CHECK(on[n] == (int64_t)((2 * n * 2646000 + 298) / (2 * 298)) + 4410 + SampleOnset());
    // the first sound is the sample itself, whole
    for (int i = 0; i < CLICK_FRAMES; i += 7)
        REQUIRE(r.left[4410 + i] == Sample(i));
}

TEST_CASE("a tempo change counts from the last beat; a change whose beat has passed beats at once")
{
    Run r;
    MixStart(0, 120);
    r.mix(30000, 120);                      // beats at 0 and 22050
    r.mix(10000, 60);                       // the next one beat at 60 after 22050
    r.mix(60000, 60);
    std::vector<int64_t> on = r.onsets();
    REQUIRE(on.size() >= 3);
    CHECK(on[1] - on[0] == 22050);
    CHECK(on[2] - on[1] == 44100);
    Run s;
    MixStart(0, 60);
    s.mix(30000, 60);                       // beat at 0; frame 30000 is past 120's interval
    s.mix(30000, 120);
    on = s.onsets();
    REQUIRE(on.size() >= 3);
    CHECK(on[1] - SampleOnset() - 4410 == 30000);
    CHECK(on[2] - on[1] == 22050);
}

TEST_CASE("sources: Beep a tone, MIDI silent with its notes, a cut ends the sample, a late first beat")
{
    Run r;
    s_Events.clear();
    MixStart(1000, 300);                    // the last run's beat is not a beat old yet
    r.mix(9000, 300, 0, 1);                 // MIDI: notes, no sound
    CHECK(r.onsets().empty());
    REQUIRE(s_Events.size() == 2);
    CHECK((s_Events[0].first == MIX_NOTEON && s_Events[0].second == 1000));
    CHECK((s_Events[1].first == MIX_NOTEOFF && s_Events[1].second == 5410));
    r.mix(9000, 300, 1, 1);                 // both flags: note-on, then tone and note-off
    CHECK(s_Events.size() == 4);
    CHECK(s_Events[3].second == 1000 + 8820 + 4410);
    int64_t tone = 1000 + 8820 + 4410;
    CHECK(r.left[tone + 3] == beepwave[3]);
    CHECK(r.left[tone + BEEP_FRAMES + 2] == 0);
    r.mix(6000, 300);                       // Audio: the sample from the next sound on
    int64_t sample = 1000 + 2 * 8820 + 4410;
    CHECK(r.onsets().back() == sample + SampleOnset());
    r.mix(100, 300, 1, 0, 1);               // Beep chosen at frame 24000: the sample cut there
    int loud = 0;
    for (int i = 0; i < 100; i++) {
        REQUIRE(r.left[24000 + i] == 0);
        loud += Loud(Sample(24000 - sample + i));  // where it would still have sounded
    }
    CHECK(loud > 0);
}

}
