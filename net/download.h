// Buffers for downloads read into memory. The reading itself is
// CZHttpSession::DownloadRequest.
#pragma once
#include <windows.h>

#include <memory>

constexpr DWORD kReadChunk = 2048;

// Room for a body of the announced length: the larger of the length and one
// read chunk, plus 16 bytes for a terminator. Null (and *size 0) when the
// length is above maxLength or the memory cannot be had; a length never
// overflows the allocation.
std::unique_ptr<char[]> AllocateBodyBuffer(DWORD length, DWORD maxLength, DWORD* size);
