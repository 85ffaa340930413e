// The audio side of the game: the block callback that plays the goal tone and
// feeds the microphone to the pitch tracker, and the duplex stream around it.
// Only this module talks to the audio device.
#pragma once

class RtAudio;

// RtAudio's block callback: one channel of doubles each way, n frames. Plays
// sin(K * g_freq * g_t / 44100) while gen_sine is set and stores the tracked
// pitch of every listening frame in pitchArray. Never allocates, locks, waits
// or prints. Returns 0 (keep the stream running), or 2 (abort it) once the
// library has reported a fatal error or a failure at every block.
int audioCallback(void *outputBuffer, void *inputBuffer, unsigned int nFrames, double streamTime,
                  unsigned int status, void *userData);

// Asks the sound server what it has, then creates the audio object with the
// library's default API. Null when there is no audio device (then "no audio
// devices found!" is printed on standard output) or when the library fails
// (its message is printed).
RtAudio *openAudio();

// The game's start-up. Enables the library's warnings and opens the duplex
// stream on the system's default input and output, reached by the first
// route that works (game/audio_route.h): 512 frames asked for, bufferSize
// receives the grant, which is printed; then starts the stream, initialises
// pitchtracker and prints the latency.
// When the library's default API cannot open the stream, or has lost track
// of a default device, the other APIs are tried and one line on standard
// error says which is used; *audio is then replaced by the object that holds
// the stream. A default input that is the monitor of another output is
// used with a one-line note; one that is the monitor of the game's own
// output is refused with a message that there is no microphone. When no
// route works, every library message is printed, plus the remedy when
// devices sharing a description were the cause, and false is returned with
// *audio still to be closed.
bool startAudioOnDefaults(RtAudio *&audio);

// Main thread, between frames: the stream's upkeep. Prints the first trouble
// the running stream reported, once, and once more when the stream has been
// stopped because of it (a device that has gone away); later reports are
// only counted. Then, when the stream's input has fallen behind the clock by
// more than half a second (on the PulseAudio API, after the game was held
// up; see src/input_lag.h), says so on standard error and opens the stream
// again on the same route, on the devices that are the defaults now (the
// message names the input), so that rounds are judged on what is sung now;
// a library error is printed and the game goes on without sound.
void audioUpkeep();

// Stops a running stream; a library error is printed and otherwise ignored.
void stopAudioStream(RtAudio &audio);

// The common end: closes the stream, if one is open, and deletes the object
// (null is fine).
void closeAudio(RtAudio *audio);
