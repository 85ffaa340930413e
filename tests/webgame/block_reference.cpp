// The browser's audio block built natively: the same entry points as the
// worklet's module (web/game/audio_web.cpp), over blocks read from a file.
//   web_block_reference IN OUT FREQ
// IN holds blocks of 512 doubles; for each, OUT gets the block's 512 output
// samples and then the 512 pitch entries as they stand after it. The tone
// sounds at FREQ and listening starts with a fresh tracker, as after space and
// a button press. block.mjs compares the module's results with these.
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
double *arrowsong_audio_input();
double *arrowsong_audio_output();
const double *arrowsong_audio_pitches();
void arrowsong_audio_init();
void arrowsong_audio_controls(int tone, double freq, int listen, int reset);
void arrowsong_audio_block(unsigned frames);
}

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: web_block_reference IN OUT FREQ\n");
        return 2;
    }
    FILE *in = std::fopen(argv[1], "rb");
    FILE *out = std::fopen(argv[2], "wb");
    if (in == nullptr || out == nullptr) {
        std::perror("web_block_reference");
        return 1;
    }
    arrowsong_audio_init();
    arrowsong_audio_controls(1, std::atof(argv[3]), 1, 1);
    while (std::fread(arrowsong_audio_input(), sizeof(double), 512, in) == 512) {
        arrowsong_audio_block(512);
        std::fwrite(arrowsong_audio_output(), sizeof(double), 512, out);
        std::fwrite(arrowsong_audio_pitches(), sizeof(double), 512, out);
    }
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}
