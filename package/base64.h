// The signature text's decoder. Lenient by design: characters outside the
// alphabet count as 0, and padding inside the text does not end decoding.
#pragma once
#include <cstddef>

// Decodes length characters of text (length 0: up to its terminating zero)
// into out, which holds outSize bytes. False, with *count 0, when the length
// is not a multiple of 4, when a group has "=" in its second place, or when
// out is too small. A zero byte follows the result when out has room.
bool DecodeBase64(const char* text, size_t length, unsigned char* out, size_t outSize,
                  size_t* count);
