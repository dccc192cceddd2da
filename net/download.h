// The read chunk of every download, and the most each kind of download may
// announce. The reading itself is CZHttpSession::DownloadRequest; nothing is
// ever allocated from the length a server announces.
#pragma once
#include <windows.h>

constexpr DWORD kReadChunk = 2048;

// Ceilings, each a few times the largest such file ever shipped: a server
// that announces more is refused before a byte reaches the disk. (The
// manifest's is kMaxManifestSize, 1 MiB.)
constexpr DWORD kMiB = 1024 * 1024;
constexpr DWORD kMaxUpdaterPackageSize = 16 * kMiB;
constexpr DWORD kMaxComponentPackageSize = 128 * kMiB;
constexpr DWORD kMaxRegScriptPackageSize = 1 * kMiB;
constexpr DWORD kMaxInstallerPackageSize = 512 * kMiB;
