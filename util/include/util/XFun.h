// XFun: general-purpose helpers as static members of one class that holds no
// data. Random numbers, note numbers and frequencies, mapping and clamping,
// tokenizing, case folding and time texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class XFun {
  public:
    XFun() = delete;

    // --- random numbers, drawn from the process-wide POSIX random() ---

    // lo + (random() % span) after the bounds have been XOR-folded. With
    // a > b, lo = b and span = a - b: the result lies in [b, a - 1]. With
    // a <= b, lo = b and span = (a ^ b) - b, so the result lies in
    // [b, b + |span| - 1]: 24, 36 gives 36 to 59 and 5, 6 gives 6 to 8. A span
    // of 0 (a first bound of 0) returns lo instead of dividing by zero.
    static long rand2i(long a, long b);
    // A double from the lower to the upper bound, both included.
    static double rand2f(double a, double b);
    // Seeds random() from the calendar time.
    static void srand();

    // --- notes: 12 steps per octave, 57 is 440 Hz ---
    static double freq2midi(double freq);
    static double midi2freq(double midi);

    // --- ranges ---
    static double map(double value, double inLow, double inHigh, double outLow, double outHigh);
    static double clamp(double value, double lo, double hi);
    static float clampf(float value, float lo, float hi);

    // --- text and time ---

    // Appends to tokens every maximal run of str free of the characters in
    // delimiters; tokens is not cleared first.
    static void tokenize(const std::string &str, std::vector<std::string> &tokens,
                         const std::string &delimiters = " ");
    static std::string toLower(const std::string &str);
    static std::string toUpper(const std::string &str);
    // Seconds from the local time "YYYY-MM-DD HH:MM:SS" to now; a null pointer
    // counts as a text that does not parse.
    static std::int64_t diffTime(const char *time);
    // "1 days, 1 hours, 1 minutes, 1 seconds ago..\n" and shorter forms.
    static std::string formatTime(std::int64_t seconds, bool brief = false);
};
