"""The figures' material: MIDI files of the notes fluidsynth renders, and a
synthesised singer whose true pitch is known at every instant.

    material.py notes DIR SECONDS "36 47 57" "Choir Aahs:52" ...  (game notes)
    material.py singer DIR "36 38 ..." [SEED]                      (MIDI notes)
Writes DIR/<sound>-<note>.mid and DIR/manifest.tsv (sound, note, wav to
render); or DIR/singer-<note>.wav, DIR/truth.tsv (file, time_s, truth_hz,
voicing every 64 samples) and DIR/singer.tsv (each note's vowel and vibrato).
"""

import struct
import sys
import wave

import numpy as np
from scipy.signal import lfilter

RATE, TRUTH_STEP = 44100, 64  # the truth has a point every 64 samples
EDGE_SECONDS = 0.06  # frames this close to an attack or release are not scored
LEAD, VOICE, TAIL, ATTACK = 0.25, 1.5, 0.25, 0.04  # seconds; raised-cosine attack
JITTER, SHIMMER, BREATH_DB, VOWELS = 0.005, 0.03, -24.0, "aeiou"
NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
# Formant frequencies and bandwidths (Hz) of an adult voice, four per vowel:
# textbook averages, enough to give each vowel its own balance of harmonics.
FORMANTS = {"a": ((730, 1090, 2440, 3400), (90, 110, 120, 130)),
    "e": ((530, 1840, 2480, 3500), (70, 100, 120, 130)),
    "i": ((270, 2290, 3010, 3500), (60, 100, 120, 130)),
    "o": ((570, 840, 2410, 3300), (70, 90, 120, 130)),
    "u": ((300, 870, 2240, 3300), (60, 90, 120, 130))}


def midi_file(program, midi_note, seconds):
    """A type-0 MIDI file at 480 ticks per quarter and 120 bpm (960 ticks a
    second): program change, the note at velocity 100 for `seconds`, note-off."""
    if not (0 <= program <= 127 and 0 <= midi_note <= 127 and 1 <= seconds <= 16):
        raise ValueError("a MIDI program or note outside 0..127, or a length outside 1..16 s")
    ticks = seconds * 960  # two bytes of variable-length delta hold up to 17 s
    track = bytes([0, 0xC0, program, 0, 0x90, midi_note, 100, (ticks >> 7) | 0x80, ticks & 0x7F,
                   0x80, midi_note, 64, 0, 0xFF, 0x2F, 0])
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track))
            + track)


def note_name(midi):
    return f"{NAMES[midi % 12]}{midi // 12 - 1}"


def contour_hz(midi, vibrato_hz, vibrato_cents, seconds):
    """The note's pitch at `seconds` from the start of the voice, swung by the
    vibrato. Jitter is drawn around it per period and is not part of the truth."""
    cents = vibrato_cents * np.sin(2 * np.pi * vibrato_hz * seconds)
    return 440.0 * 2.0 ** ((midi - 69) / 12) * 2.0 ** (cents / 1200)


def glottal_flow(phase):
    """The flow opens over 40 % of the period, closes over the next 20 % and
    stays shut: the abrupt closure gives a voice its strong upper harmonics."""
    return np.where(phase < 0.4, 0.5 * (1 - np.cos(np.pi * phase / 0.4)),
                    np.where(phase < 0.6, np.cos(np.pi * (phase - 0.4) / 0.4), 0.0))


def tract(x, vowel):
    """Four two-pole resonators with unit gain at 0 Hz: one vowel's tract."""
    for hz, bandwidth in zip(*FORMANTS[vowel]):
        r = np.exp(-np.pi * bandwidth / RATE)
        b1, b2 = 2 * r * np.cos(2 * np.pi * hz / RATE), -r * r
        x = lfilter([1 - b1 - b2], [1, -b1, -b2], x)
    return x


def pulses(hz, rng):
    """Phase within the period and pulse height at every sample: each new
    period's length (jitter) and height (shimmer) drawn afresh."""
    phase, height = np.empty(hz.size), np.empty(hz.size)
    p, scale, amp = 0.0, 1.0, 1.0
    step = (hz / RATE).tolist()
    for i, s in enumerate(step):
        p += s * scale
        if p >= 1.0:
            p -= int(p)
            scale = 1 / (1 + JITTER * np.clip(rng.standard_normal(), -3, 3))
            amp = 1 + SHIMMER * np.clip(rng.standard_normal(), -3, 3)
        phase[i], height[i] = p, amp
    return phase, height


def sing(midi, seed):
    """One note: (samples at peak 0.5, its vowel and vibrato, truth rows)."""
    rng = np.random.default_rng(seed * 7919 + midi)
    vowel, vib_hz, vib_cents = VOWELS[midi % 5], rng.uniform(5, 6), rng.uniform(30, 50)
    lead, voice = round(LEAD * RATE), round(VOICE * RATE)
    t = np.arange(voice) / RATE
    phase, height = pulses(contour_hz(midi, vib_hz, vib_cents, t), rng)
    flow = height * glottal_flow(phase)
    # The lips radiate the flow's derivative; the breath is loudest while the
    # glottis is open, and goes through the same tract.
    voiced = tract(np.diff(flow, prepend=0.0), vowel)
    breath = tract(rng.standard_normal(voice) * (0.3 + flow), vowel)
    breath *= 10 ** (BREATH_DB / 20) * np.std(voiced) / np.std(breath)
    edge = np.minimum(t, VOICE - t)
    envelope = np.where(edge >= ATTACK, 1.0, 0.5 * (1 - np.cos(np.pi * edge / ATTACK)))
    samples = np.zeros(lead + voice + round(TAIL * RATE))
    samples[lead:lead + voice] = envelope * (voiced + breath)
    samples *= 0.5 / np.max(np.abs(samples))
    grid = np.arange(0, samples.size, TRUTH_STEP) / RATE
    inside = grid - LEAD
    voicing = np.where((inside >= EDGE_SECONDS) & (inside <= VOICE - EDGE_SECONDS), "voiced",
                       np.where((inside > -EDGE_SECONDS) & (inside < VOICE + EDGE_SECONDS),
                                "edge", "silent"))
    truth = np.where((inside >= 0) & (inside <= VOICE),
                     contour_hz(midi, vib_hz, vib_cents, inside), 0.0)
    return samples, (vowel, vib_hz, vib_cents), list(zip(grid, truth, voicing))


def write_wav(path, samples):
    with wave.open(path, "wb") as out:
        out.setparams((1, 2, RATE, 0, "NONE", "not compressed"))
        out.writeframes(np.round(samples * 32767).astype("<i2").tobytes())


def write_notes(folder, seconds, notes, sounds):
    with open(f"{folder}/manifest.tsv", "w") as manifest:
        for sound in sounds:
            name, program = sound.rsplit(":", 1)
            slug = name.lower().replace(" ", "-")
            for note in notes:
                base = f"{folder}/{slug}-{note}"
                # The game's note 57 is 440 Hz, MIDI's 69.
                with open(base + ".mid", "wb") as out:
                    out.write(midi_file(int(program), note + 12, seconds))
                manifest.write(f"{name}\t{note}\t{base}.wav\n")


def write_singer(folder, notes, seed):
    with open(f"{folder}/truth.tsv", "w") as truth, open(f"{folder}/singer.tsv", "w") as table:
        truth.write("#file\ttime_s\ttruth_hz\tvoicing\n")
        table.write("#file\tmidi\tname\tvowel\tvibrato_hz\tvibrato_cents\n")
        for midi in notes:
            samples, (vowel, vib_hz, vib_cents), points = sing(midi, seed)
            name = f"singer-{midi}"
            write_wav(f"{folder}/{name}.wav", samples)
            truth.writelines(f"{name}\t{t:.6f}\t{hz:.4f}\t{v}\n" for t, hz, v in points)
            table.write(f"{name}\t{midi}\t{note_name(midi)}\t{vowel}\t{vib_hz:.2f}\t"
                        f"{vib_cents:.1f}\n")


def main(args):
    if len(args) >= 5 and args[0] == "notes":
        write_notes(args[1], int(args[2]), [int(n) for n in args[3].split()], args[4:])
    elif len(args) in (3, 4) and args[0] == "singer":
        write_singer(args[1], [int(n) for n in args[2].split()], int(args[3]) if args[3:] else 14)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
