// figures-singer: writes the synthesised singer's notes as 16-bit 44100 Hz
// WAV files, with the exact pitch of every note on a fine grid.
//
//   figures-singer --dir DIR --truth FILE --notes FILE --midi "36 38 ..." [--seed N]
//
// DIR/singer-<midi>.wav per note. The truth table has one line per 64
// samples: file name without folder and extension, time, true pitch (0 when
// silent) and "voiced", "edge" or "silent". The notes table says what each
// note sings (vowel, vibrato).
#include "singer.h"

#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void writeWav(const std::string &path, const std::vector<double> &samples) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error(path + ": " + sf_strerror(nullptr));
    const auto frames = static_cast<sf_count_t>(samples.size());
    const bool ok = sf_writef_double(file, samples.data(), frames) == frames;
    if (sf_close(file) != 0 || !ok)
        throw std::runtime_error(path + ": cannot write the samples");
}

std::vector<int> midiNotes(const std::string &text) {
    std::istringstream in(text);
    std::vector<int> notes;
    for (std::string word; in >> word;) {
        char *end = nullptr;
        const long n = std::strtol(word.c_str(), &end, 10);
        if (*end != '\0' || n < 24 || n > 96)
            throw std::invalid_argument("not a MIDI note from 24 to 96: " + word);
        notes.push_back(static_cast<int>(n));
    }
    if (notes.empty())
        throw std::invalid_argument("no notes to sing");
    return notes;
}

int usage(std::ostream &out, int status) {
    out << "usage: figures-singer --dir DIR --truth FILE --notes FILE --midi \"N N ...\" "
           "[--seed N]\n"
           "  Sings each MIDI note (60 = C4) for 1.5 s between 0.25 s of silence into\n"
           "  DIR/singer-<note>.wav, and writes its true pitch every 64 samples.\n";
    return status;
}

void run(const std::map<std::string, std::string> &opt) {
    const std::vector<int> notes = midiNotes(opt.at("--midi"));
    const auto seed = static_cast<std::uint32_t>(std::stoul(opt.at("--seed")));
    std::ofstream truth(opt.at("--truth")), list(opt.at("--notes"));
    if (!truth || !list)
        throw std::runtime_error("cannot write the truth or notes table");
    truth << "#file\ttime_s\ttruth_hz\tvoicing\n";
    list << "#file\tmidi\tname\tvowel\tvibrato_hz\tvibrato_cents\tjitter_pct\tshimmer_pct"
            "\tbreath_db\n";
    char text[160];
    for (int midi : notes) {
        const figures::SingerNote note = figures::singerNoteFor(midi, seed);
        const figures::SungNote sung = figures::sing(note, seed + static_cast<std::uint32_t>(midi));
        const std::string name = "singer-" + std::to_string(midi);
        writeWav(opt.at("--dir") + "/" + name + ".wav", sung.samples);
        for (const figures::TruthPoint &p : sung.truth) {
            std::snprintf(text, sizeof text, "%s\t%.6f\t%.4f\t%s\n", name.c_str(), p.timeS, p.hz,
                          figures::voicingName(p.voicing));
            truth << text;
        }
        std::snprintf(text, sizeof text, "%s\t%d\t%s\t%s\t%.2f\t%.1f\t%.2g\t%.2g\t%.0f\n",
                      name.c_str(), midi, figures::midiNoteName(midi).c_str(),
                      figures::vowelName(note.vowel), note.vibratoHz, note.vibratoCents,
                      100 * note.jitter, 100 * note.shimmer, note.breathDb);
        list << text;
    }
    if (!truth.flush() || !list.flush())
        throw std::runtime_error("cannot write the truth or notes table");
}

} // namespace

int main(int argc, char **argv) {
    std::map<std::string, std::string> opt = {{"--seed", "14"}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return usage(std::cout, 0);
        if (i + 1 >= argc || (arg != "--dir" && arg != "--truth" && arg != "--notes" &&
                              arg != "--midi" && arg != "--seed"))
            return usage(std::cerr, 2);
        opt[arg] = argv[++i];
    }
    if (!opt.count("--dir") || !opt.count("--truth") || !opt.count("--notes") ||
        !opt.count("--midi"))
        return usage(std::cerr, 2);
    try {
        run(opt);
    } catch (const std::exception &e) {
        std::cerr << "figures-singer: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
