// The upper halves (bytes 0x80..0xFF) of the single-byte Windows code pages
// Access 97 files keep text in: 874 and 1250..1258. The tables are generated
// into code_page_tables.cpp by scripts/make-code-page-tables.py.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jet {

// A character of a code page and the byte that holds it.
struct CodePageByte {
  uint16_t character;
  uint8_t byte;
};

// One code page: each byte's character, and the reverse for writers.
struct CodePageTable {
  uint16_t code_page;
  const char* name;                // "Greek", for messages
  uint16_t high[128];              // bytes 0x80..0xFF; 0 = not assigned
  uint8_t assigned;                // the entries of `by_character` in use
  CodePageByte by_character[128];  // the assigned bytes, sorted by character
};

// The generated tables, by code page number.
extern const CodePageTable kCodePageTables[];
extern const size_t kCodePageTableCount;

// The table of `code_page`, or nullptr for one not in kCodePageTables.
inline const CodePageTable* FindCodePageTable(uint16_t code_page) {
  for (size_t k = 0; k < kCodePageTableCount; ++k)
    if (kCodePageTables[k].code_page == code_page) return &kCodePageTables[k];
  return nullptr;
}

}  // namespace jet
