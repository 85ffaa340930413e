// Arrowsong: hear a goal tone, sing it back, and see where the arrow lands.
#include <cstdlib>
#include <iostream>

#include <GL/glut.h>

#include <game/audio.h>
#include <render/window.h>

int main(int argc, char *argv[]) {
    // Without an audio device, or when the audio library cannot start, the
    // reason has been printed.
    RtAudio *audio = openAudio();
    if (audio == nullptr)
        return 1;
    glutInit(&argc, argv);
    initGfx();
    // Without a running stream there is no game to play: the library's
    // message has been printed, and the failure is reported as one.
    if (!startAudioOnDefaults(audio)) {
        closeAudio(audio);
        return 1;
    }
    glutMainLoop();
    stopAudioStream(*audio);
    closeAudio(audio);
    return 0;
}
