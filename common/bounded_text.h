// Bounded copies into fixed text buffers: the only thing that can happen to a
// text that does not fit is that it is cut.
#pragma once
#include <cstddef>

// Copies at most size - 1 characters of src into dst and terminates it.
// Returns dst. A null src gives the empty text.
char* CopyBounded(char* dst, size_t size, const char* src);

// Appends src to the text already in dst, never holding more than size - 1
// characters. Returns dst.
char* AppendBounded(char* dst, size_t size, const char* src);

template <size_t N>
char* CopyBounded(char (&dst)[N], const char* src) { return CopyBounded(dst, N, src); }
template <size_t N>
char* AppendBounded(char (&dst)[N], const char* src) { return AppendBounded(dst, N, src); }

// Fixed buffer sizes shared by the whole updater.
constexpr size_t kPathSize = 260;      // paths and URLs: 259 characters and the terminator
constexpr size_t kUrlPathSize = 1024;  // URL paths
constexpr size_t kHostNameSize = 256;  // host names
