/* Compiles the asset files beside this one into the executable as constant
   data. Each blob gets a start label, a 32-bit size (<name>Size) and a
   terminating zero byte that is not counted, so a text blob is also a C
   string. The assembler finds the files through -I (see CMakeLists.txt). */

#define BLOB(name, file)            \
    .section .rodata.name, "a";     \
    .balign 16;                     \
    .global name;                   \
    .type name, @object;            \
name:                               \
    .incbin file;                   \
name##End:                          \
    .byte 0;                        \
    .size name, name##End - name;   \
    .balign 4;                      \
    .global name##Size;             \
    .type name##Size, @object;      \
name##Size:                         \
    .long name##End - name;         \
    .size name##Size, 4

BLOB(assetCheckerPng, "checker.png")
BLOB(assetFlarePng, "flare.png")
BLOB(assetLogoPng, "logo.png")
BLOB(assetBackdropPng, "backdrop.png")
BLOB(assetGreetingsPng, "greetings.png")
BLOB(assetCreditsPng, "credits.png")
BLOB(assetPhotoPng, "photo.png")
BLOB(assetMusicIt, "music.it")
BLOB(assetMeshBin, "mesh.bin")
BLOB(assetScrollerTxt, "scroller.txt")
BLOB(assetFontTtf, "fonts/LiberationSans-Bold.ttf")

    .section .note.GNU-stack, "", @progbits
