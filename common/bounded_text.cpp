#include "common/bounded_text.h"

#include <cstring>

char* CopyBounded(char* dst, size_t size, const char* src) {
  if (size == 0) return dst;
  dst[0] = '\0';
  return AppendBounded(dst, size, src);
}

char* AppendBounded(char* dst, size_t size, const char* src) {
  if (size == 0 || src == nullptr) return dst;
  size_t used = strnlen(dst, size - 1);
  size_t room = size - 1 - used;
  size_t take = strnlen(src, room);
  memcpy(dst + used, src, take);
  dst[used + take] = '\0';
  return dst;
}
