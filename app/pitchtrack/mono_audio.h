// Reading audio files as the tracker wants them: block by block for
// pitchtrack's file mode, or whole as one channel at 44100 Hz.
#ifndef PITCHTRACK_MONO_AUDIO_H
#define PITCHTRACK_MONO_AUDIO_H

#include "tracker_input.h"

#include <memory>
#include <string>
#include <vector>

namespace pitchtrack {

// An audio file of any format libsndfile knows, read in blocks of
// interleaved frames.
class AudioFile {
  public:
    AudioFile();
    ~AudioFile();
    AudioFile(const AudioFile &) = delete;
    AudioFile &operator=(const AudioFile &) = delete;

    // On failure returns false and sets error to a message naming the file.
    // A file without frames is a failure ("holds no audio").
    bool open(const std::string &path, std::string &error);

    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // The frames the file holds, as far as can be told before reading it.
    long long frames() const { return frames_; }

    // Reads up to `frames` frames into block (resized to what was read);
    // returns false at the end of the file.
    bool read(std::vector<double> &block, std::size_t frames);

    // After the end: when the file's header promises more frames than it
    // held, a message saying so, naming the file; else empty.
    std::string endedEarly() const;

  private:
    struct Handle;
    std::unique_ptr<Handle> file_;
    std::string path_;
    int rate_ = 0;
    int channels_ = 0;
    int format_ = 0;
    long long frames_ = 0;
    long long read_ = 0;
};

struct MonoAudio {
    std::vector<double> samples; // at kTrackerRate
    int fileRate = 0;
    int fileChannels = 0;
    // Set when the file held fewer frames than its header promises.
    std::string endedEarly;
};

// Reads a whole file, averages its channels and converts it to 44100 Hz when
// it has another rate, as pitchtrack's file mode does block by block. On
// failure returns false and sets error to a message naming the file.
bool loadMono(const std::string &path, MonoAudio &audio, std::string &error);

} // namespace pitchtrack

#endif
