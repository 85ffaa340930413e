// The figures page's numbers: tables read by column name, benchmark CSV,
// quartiles, classes of error, the page template and the rendered notes'
// MIDI files, on inputs whose right answer is known.
#include "midi.h"
#include "report.h"
#include "tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace {

TEST(Tables, TsvColumnsByNameWithNanAndClearErrors) {
    const figures::Table t = figures::parseTsv(
        "#sound\tnote\tcents\nFlute\t57\tnan\n# a comment\n\nFlute\t59\t-3.5\n", "notes.tsv");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t.text(1, "sound"), "Flute");
    EXPECT_TRUE(std::isnan(t.number(0, "cents")));
    EXPECT_EQ(t.number(1, "cents"), -3.5);
    EXPECT_THROW(t.number(0, "sound"), std::runtime_error);                  // not a number
    EXPECT_THROW(t.text(0, "goal_hz"), std::runtime_error);                  // no such column
    EXPECT_THROW(figures::parseTsv("Flute\t57\n", "x"), std::runtime_error); // no header
}

TEST(Tables, CsvQuotedFieldsAndShortRows) {
    const figures::Table t = figures::parseCsv(
        "name,label,time\r\n\"BM_A/8\",\"a, \"\"quoted\"\" label\",1.5\r\nBM_B,,2\n", "b.csv");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t.text(0, "name"), "BM_A/8");
    EXPECT_EQ(t.text(0, "label"), "a, \"quoted\" label");
    EXPECT_EQ(t.text(1, "label"), "");
    EXPECT_EQ(t.number(1, "time"), 2.0);
    EXPECT_THROW(figures::parseCsv("name\n\"open", "c.csv"), std::runtime_error);
    EXPECT_THROW(figures::parseTsv("#a\tb\n1\n", "s.tsv").text(0, "b"), std::runtime_error);
}

TEST(Bench, AggregatesInMicrosecondsAndCallbackRows) {
    // As the CSV reporter writes it: iteration rows, aggregates with their
    // name as a suffix, user counters as extra columns.
    const figures::Table csv = figures::parseBenchmarkCsv(
        "2026-12-07T18:58:38+00:00\nRunning game_bench\nCPU Caches:\n  L1 Data 32 KiB (x2)\n"
        "Load Average: 4.13, 3.72, 4.52\n"
        "name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,label,"
        "error_occurred,error_message,\"frames/s\"\n"
        "\"BM_CallbackListening\",100,5000,4000,ns,,,,,,\n"
        "\"BM_CallbackListening_median\",3,2500,2000,ns,,,,,,\n"
        "\"BM_CallbackListening_stddev\",3,1.5,0.75,us,,,,,,\n"
        "\"BM_Other/min_time:3.000/real_time_median\",3,14.5,3.25,ms,,,,,,69\n",
        "game_bench.csv");
    const std::vector<figures::BenchRow> rows = figures::benchRows(csv);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].name, "BM_CallbackListening");
    EXPECT_EQ(rows[0].aggregate, "median");
    EXPECT_DOUBLE_EQ(rows[0].cpuUs, 2.0);
    EXPECT_DOUBLE_EQ(rows[0].realUs, 2.5);
    EXPECT_DOUBLE_EQ(rows[1].cpuUs, 0.75);
    EXPECT_EQ(rows[2].name, "BM_Other");
    EXPECT_DOUBLE_EQ(rows[2].cpuUs, 3250.0);

    const std::vector<figures::CallbackRow> cb = figures::callbackRows(rows);
    ASSERT_EQ(cb.size(), 2u);
    EXPECT_EQ(cb[0].label, "listening, tone on");
    EXPECT_DOUBLE_EQ(cb[0].medianUs, 2.0);
    EXPECT_DOUBLE_EQ(cb[0].stddevUs, 0.75);
    EXPECT_EQ(cb[1].label, "BM_Other");
    EXPECT_TRUE(std::isnan(cb[1].stddevUs));

    EXPECT_THROW(figures::parseBenchmarkCsv("Running x\nno table\n", "e.csv"), std::runtime_error);
    EXPECT_THROW(figures::benchRows(figures::parseCsv(
                     "name,real_time,cpu_time,time_unit\nBM_X_mean,1,1,fortnights\n", "u.csv")),
                 std::runtime_error);
}

TEST(Statistics, QuartilesByInterpolationAndMedians) {
    const figures::Summary five = figures::summarize({5, 1, 4, 2, 3});
    EXPECT_EQ(five.n, 5u);
    EXPECT_EQ(five.median, 3);
    EXPECT_EQ(five.p25, 2);
    EXPECT_EQ(five.p75, 4);
    EXPECT_EQ(five.min, 1);
    EXPECT_EQ(five.max, 5);
    const figures::Summary four = figures::summarize({40, 10, 30, 20});
    EXPECT_DOUBLE_EQ(four.median, 25);
    EXPECT_DOUBLE_EQ(four.p25, 17.5);
    EXPECT_DOUBLE_EQ(four.p75, 32.5);
    EXPECT_EQ(figures::summarize({}).n, 0u);

    const double nan = std::nan("");
    EXPECT_DOUBLE_EQ(figures::medianOf({nan, 7, 1, nan}), 4);
    EXPECT_TRUE(std::isnan(figures::medianOf({nan})));

    std::vector<figures::NoteRow> notes(3);
    notes[0].note = 36, notes[0].oursPct = 10;
    notes[1].note = 41, notes[1].oursPct = 80;
    notes[2].note = 59, notes[2].oursPct = 90;
    EXPECT_DOUBLE_EQ(figures::meanOverNotes(notes, &figures::NoteRow::oursPct, 41, 59), 85);
    EXPECT_TRUE(std::isnan(figures::meanOverNotes(notes, &figures::NoteRow::oursPct, 37, 40)));
}

TEST(Notes, NamesAndJudgedBands) {
    EXPECT_EQ(figures::noteName(36), "C3");
    EXPECT_EQ(figures::noteName(47), "B3");
    EXPECT_EQ(figures::noteName(57), "A4");
    EXPECT_EQ(figures::noteName(58), "A#4");
    EXPECT_EQ(figures::judgedText(0), "bullseye");
    EXPECT_EQ(figures::judgedText(0.5), "sharp, over a semitone");
    EXPECT_EQ(figures::judgedText(-0.1), "flat, 2–3 steps");
    EXPECT_EQ(figures::judgedText(0.7), "0.7");
}

TEST(Notes, ErrorClassesAndHistogramOverWindowsAfterOnset) {
    // Ours: 20 (within 20), 50 (20 to 50), -1210 (an octave), 1900
    // (otherwise), no pitch; yin always -3. One window before the onset must
    // not count.
    std::vector<figures::WindowRow> windows;
    for (double c : {20.0, 50.0, -1210.0, 1900.0, std::nan("")}) {
        figures::WindowRow w;
        w.sound = "S", w.note = 40, w.afterOnset = true, w.cents = {c, -3.0, 99.0};
        windows.push_back(w);
    }
    windows.push_back(windows[0]);
    windows.back().afterOnset = false, windows.back().cents = {5000.0, 5000.0, 5000.0};

    const figures::ErrorShares s = figures::errorShares(windows);
    EXPECT_EQ(s.judged, 5u);
    const double ours[] = {20, 20, 0, 20, 20, 20};
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_DOUBLE_EQ(s.classes[k][0], ours[k]) << figures::kErrorClasses[k];
    EXPECT_DOUBLE_EQ(s.classes[0][1], 100);
    EXPECT_DOUBLE_EQ(s.classes[2][2], 100);
    // Bins of 5 cents from -100: -3 is in bin 19, 20 in bin 24, 99 in bin 39.
    EXPECT_DOUBLE_EQ(s.hist[19][1], 100);
    EXPECT_DOUBLE_EQ(s.hist[24][0], 20);
    EXPECT_DOUBLE_EQ(s.hist[39][2], 100);
    EXPECT_EQ(figures::errorClass(2395), 3); // two octaves, 5 cents off
    EXPECT_EQ(figures::errorClass(1100), 4); // a major seventh

    const auto medians = figures::noteMedians(windows);
    ASSERT_EQ(medians.size(), 1u);
    EXPECT_DOUBLE_EQ(medians.at({"S", 40}).ours, 35); // of 20, 50, -1210, 1900
    EXPECT_DOUBLE_EQ(medians.at({"S", 40}).yin, -3);
}

TEST(Page, TemplateValuesAndBlocks) {
    const std::map<std::string, std::string> values = {{"n", "3"}, {"rows", "| a |\n| b |"}};
    const std::map<std::string, bool> flags = {{"quick", true}, {"bench", false}};
    EXPECT_EQ(figures::fillTemplate("n = {{n}}.\n{{rows}}\n", values, flags),
              "n = 3.\n| a |\n| b |\n");
    // Blocks alone on their lines take their lines with them; inline ones
    // leave the text around them alone.
    EXPECT_EQ(
        figures::fillTemplate("A\n{{#quick}}\nQ {{n}}\n{{/quick}}\n{{#bench}}\nB\n{{/bench}}\n"
                              "{{^bench}}\nno bench\n{{/bench}}\nZ{{^quick}} full{{/quick}}.",
                              values, flags),
        "A\nQ 3\nno bench\nZ.");
    EXPECT_THROW(figures::fillTemplate("{{missing}}", values, flags), std::runtime_error);
    EXPECT_THROW(figures::fillTemplate("{{#nope}}x{{/nope}}", values, flags), std::runtime_error);
    EXPECT_THROW(figures::fillTemplate("{{#quick}}x", values, flags), std::runtime_error);
    EXPECT_THROW(figures::fillTemplate("{{n", values, flags), std::runtime_error);
}

TEST(Midi, OneSustainedNoteFile) {
    const std::string file = figures::noteMidiFile(52, 69, 2);
    const std::string expected("MThd\0\0\0\6\0\0\0\1\1\xe0"
                               "MTrk\0\0\0\x10"
                               "\0\xc0\x34\0\x90\x45\x64\x8f\x00\x80\x45\x40\0\xff\x2f\0",
                               38);
    EXPECT_EQ(file, expected);
    // The track's length in its header is the bytes that follow it.
    EXPECT_EQ(static_cast<std::size_t>(file[21]), file.size() - 22);
    EXPECT_THROW(figures::noteMidiFile(128, 60, 2), std::invalid_argument);
    EXPECT_THROW(figures::noteMidiFile(0, 60, 20), std::invalid_argument);
    EXPECT_EQ(figures::soundSlug("Voice Oohs"), "voice-oohs");
}

} // namespace
