// The read chunk of every download. The reading itself is
// CZHttpSession::DownloadRequest; nothing is ever allocated from the length a
// server announces.
#pragma once
#include <windows.h>

constexpr DWORD kReadChunk = 2048;
