// The inflate decoder: turns the zlib stream of a PNG's image data into the
// flat scanline buffer. Reads its input through nextByte (image/png_state.h) and
// reports into the PNG error list. Main thread; one stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// One entry of a code table. In a primary table (slots 0 to 4) an entry with
// length SUBTABLE_MARK links to the second-level table in slot `symbol`.
struct CodeEntry {
    uint16_t symbol;
    uint8_t length;  // bits of the whole code, 1 to 15; 0 where no code lands
};
struct CodeTable {
    CodeEntry entries[256];  // indexed by the next 8 stream bits
};
constexpr uint8_t SUBTABLE_MARK = 255;
constexpr int32_t CODE_SLOTS = 256;

// Slots: 0 fixed distance, 1 fixed literal/length, 2 dynamic distance,
// 3 dynamic literal/length, 4 code-length code, 5 on second-level tables.
extern CodeTable* codeTables[CODE_SLOTS];
extern int32_t nextFreeSlot;      // slot of the next new second-level table
extern int32_t firstDynamicSlot;  // nextFreeSlot once the fixed codes are built

// Start of every image decode: fresh slots and the fixed codes.
void prepareCodeTables();
// Decodes the whole stream from the byte source into out, writing at most
// outSize bytes; returns the bytes written. Errors go to the PNG error list.
size_t inflateStream(uint8_t* out, size_t outSize);
// End of every image decode: frees every table.
void releaseCodeTables();
