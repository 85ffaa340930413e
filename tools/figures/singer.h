// A synthesised singer for the datasheet: glottal pulses through the formants
// of a vowel, with vibrato, jitter, shimmer and breath noise. Because the
// pitch contour is made here, every instant of a note has an exact true pitch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace figures {

enum class Vowel { A, E, I, O, U };
const char *vowelName(Vowel v); // "a", "e", ...

struct SingerNote {
    int midiNote = 60; // 60 is C4, 261.63 Hz
    Vowel vowel = Vowel::A;
    double vibratoHz = 5.5;     // rate of the vibrato
    double vibratoCents = 40.0; // its extent: the contour swings ± this much
    double jitter = 0.005;      // standard deviation of each period's length, relative
    double shimmer = 0.03;      // standard deviation of each pulse's amplitude, relative
    double breathDb = -24.0;    // breath noise against the voiced sound, by RMS
    double leadSeconds = 0.25;  // silence before the voice
    double voiceSeconds = 1.5;  // from the start of the attack to the end of the release
    double tailSeconds = 0.25;  // silence after it
};

// The note's vibrato, vowel and seed drawn from `seed`: the same seed gives
// the same note. Vibrato 5 to 6 Hz, ±30 to 50 cents; the vowel cycles with
// the note so that a run of notes sings every vowel.
SingerNote singerNoteFor(int midiNote, std::uint32_t seed);

// Truth on a grid of kTruthStep samples. Frames within kEdgeSeconds of the
// voice's start or end are "edge": neither voiced nor silent, since trackers
// with longer windows straddle the attack there.
constexpr int kTruthStep = 64;
constexpr double kEdgeSeconds = 0.06;
enum class Voicing { Silent, Edge, Voiced };
const char *voicingName(Voicing v); // "silent", "edge", "voiced"

struct TruthPoint {
    double timeS = 0.0;
    double hz = 0.0; // the contour's pitch at that instant; 0 when silent
    Voicing voicing = Voicing::Silent;
};

struct SungNote {
    std::vector<double> samples; // 44100 Hz, peak 0.5
    std::vector<TruthPoint> truth;
};

// The note's pitch contour at `seconds` from the start of the voice: the
// note's frequency swung by the vibrato. Jitter is drawn around it per period
// and is not part of the truth.
double contourHz(const SingerNote &note, double seconds);

SungNote sing(const SingerNote &note, std::uint32_t seed);

// "C2" for MIDI note 36, "A4" for 69.
std::string midiNoteName(int midiNote);

} // namespace figures
