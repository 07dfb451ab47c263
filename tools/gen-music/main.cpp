// gen-music: writes the intro's music module.
//   gen-music OUTPUT.it
// The output depends on nothing but this program: the same bytes each run.
#include "music.h"

#include <cstdio>

// Main thread.
int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: gen-music OUTPUT.it\n");
        return 2;
    }
    buildInstruments();
    composeSong();
    if (!writeItFile(argv[1])) {
        fprintf(stderr, "gen-music: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
