#include "net/proxy_scramble.h"

#include <cstring>

void ScrambleText(char* text) {
  for (size_t i = 0; i < strlen(text); ++i)
    text[i] =
        static_cast<char>(static_cast<unsigned char>(text[i]) ^ static_cast<unsigned char>(i + 1));
}
