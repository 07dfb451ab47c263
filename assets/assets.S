/* Compiles the asset files beside this one into the executable as constant
   data. Each blob gets a start label, a 32-bit size (<name>Size) and a
   terminating zero byte that is not counted, so a text blob is also a C
   string. The assembler finds the files through -I (see CMakeLists.txt).
   ELF objects (Linux) type and size their symbols; PE objects (the MinGW
   build) have no such directives and name read-only sections .rdata. */

#if defined(__ELF__)
#define BLOB_SECTION(name) .section .rodata.name, "a"
#define BLOB_SYMBOL(name, length) \
    .type name, @object;        \
    .size name, length
#else
#define BLOB_SECTION(name) .section .rdata$name, "dr"
#define BLOB_SYMBOL(name, length)
#endif

#define BLOB(name, file)                      \
    BLOB_SECTION(name);                       \
    .balign 16;                               \
    .global name;                             \
name:                                         \
    .incbin file;                             \
name##End:                                    \
    .byte 0;                                  \
    BLOB_SYMBOL(name, name##End - name);      \
    .balign 4;                                \
    .global name##Size;                       \
name##Size:                                   \
    .long name##End - name;                   \
    BLOB_SYMBOL(name##Size, 4)

/* A blob of no bytes: the label, its zero terminator, size 0. */
#define EMPTY_BLOB(name)                      \
    BLOB_SECTION(name);                       \
    .balign 4;                                \
    .global name;                             \
name:                                         \
    .byte 0;                                  \
    BLOB_SYMBOL(name, 1);                     \
    .balign 4;                                \
    .global name##Size;                       \
name##Size:                                   \
    .long 0;                                  \
    BLOB_SYMBOL(name##Size, 4)

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
#if defined(WERULE_SYSTEM_FONT)
/* The platform layer takes the outline font from the system. */
EMPTY_BLOB(assetFontTtf)
#else
BLOB(assetFontTtf, "fonts/LiberationSans-Bold.ttf")
#endif

#if defined(__ELF__)
    .section .note.GNU-stack, "", @progbits
#endif
