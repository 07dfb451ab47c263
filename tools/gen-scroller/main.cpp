// gen-scroller: writes the scroller line of the show.
//
//   gen-scroller OUTFILE
//
// The line is one paragraph of prose, exactly SCROLLER_LENGTH characters,
// no newline at the end, using only letters, digits, space and ! ' ( ) , - .
// The tool refuses to write a line that breaks these rules, so an edit to
// the text below that changes its length fails here, not in the show.
// Single-threaded.
#include <cstdio>
#include <cstring>

static const size_t SCROLLER_LENGTH = 971;  // characters, no terminator

// Adjacent literals join into one line; each piece ends where the next begins.
static const char SCROLLER_TEXT[] =
    "Hello out there, and welcome to We Rule ... sit back, turn the sound up and let the stars fly "
    "past you for a while. Everything you see and hear comes out of one small program. The "
    "pictures, "
    "the music, the twisted cube and this line of text were all made by our own little generators, "
    "so"
    " nothing here was borrowed from anybody. The checkerboard floor keeps rolling towards you, "
    "the "
    "flares keep racing into the dark, and the cube with the three tunnels keeps turning, because "
    "it "
    "never gets tired of showing off. If you have read this far, you clearly have good taste and "
    "plenty of patience, so here is a secret ... the music decides when the screen turns white, "
    "not "
    "the clock. Big thanks go out to everyone who still makes things just for the fun of it, in "
    "code,"
    " in sound or in pixels. Keep the old machines humming and the new ones surprised. We had a "
    "great"
    " time making this and we hope you had a good time watching it. See you at the next party ... "
    "and"
    " remember, we rule!";

static bool allowedCharacter(char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr(" !'(),-.", c) != nullptr;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen-scroller OUTFILE\n");
        return 2;
    }
    size_t length = std::strlen(SCROLLER_TEXT);
    if (length != SCROLLER_LENGTH) {
        std::fprintf(stderr, "gen-scroller: the text has %zu characters, not %zu\n", length,
                     SCROLLER_LENGTH);
        return 1;
    }
    for (size_t i = 0; i < length; ++i)
        if (!allowedCharacter(SCROLLER_TEXT[i])) {
            std::fprintf(stderr, "gen-scroller: character %zu (code %d) is not allowed\n", i,
                         SCROLLER_TEXT[i]);
            return 1;
        }
    FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::fprintf(stderr, "gen-scroller: cannot open %s\n", argv[1]);
        return 1;
    }
    bool written = std::fwrite(SCROLLER_TEXT, 1, length, out) == length;
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "gen-scroller: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
