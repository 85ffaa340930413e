// The game's audio module as its tests reach it: the stream's trouble record
// the callback consults, and opening a stream on one audio object's own
// defaults without the route choice.
#pragma once

class RtAudio;

namespace arrowsong::detail {

class StreamTrouble;

// The record of what the audio library reported about the running stream:
// audioCallback stops the stream once it has failed.
StreamTrouble &streamTrouble();

// Enables the library's warnings, opens the duplex stream on the default
// devices of this audio object (512 frames asked for, bufferSize receives
// the grant), prints the granted size, starts the stream, initialises
// pitchtracker and prints the latency. On a library error its message is
// printed and false returned.
bool startAudioStream(RtAudio &audio);

} // namespace arrowsong::detail
