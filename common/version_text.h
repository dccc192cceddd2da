// Version texts of the manifest and the install records: four decimal numbers
// separated by commas, each kept as 16 bits. No Win32 here.
#pragma once
#include <cstdint>

struct CZVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;
};

// Parts a to c take the number before the next comma; when no comma is left
// a part is 0 and the text stays for the last part, which takes the rest.
// So "6,1" is 6.0.0.1 and "7" is 0.0.0.7. Numbers read like atoi (blanks,
// sign, digits; anything else stops). Always true.
bool ParseVersionText(const char* text, CZVersion* out);

// The strict form a release tool writes: exactly four decimal numbers of at
// most 65535, separated by commas, nothing else (no blanks or signs). "6,1",
// which the run reads as 6.0.0.1, is not in this form. False, *out untouched,
// for any other text.
bool ParseExactVersionText(const char* text, CZVersion* out);

// "5,1,0,0", as the manifest writes a version.
void FormatVersionText(const CZVersion& version, char* text, unsigned long size);

// Order of two versions: (major, minor) as one unsigned 32-bit value first,
// then (build, revision). Negative, 0 or positive.
int CompareVersions(const CZVersion& a, const CZVersion& b);
