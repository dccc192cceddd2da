// How long a request may take. Every request gets a response (connect, TLS,
// the request, the response headers) within kResponseDeadlineMs; in a body,
// kIdleLimitMs without a byte fails it (WinINet's own receive time-out, set
// on every request); the whole body must arrive within kBodyBaseDeadlineMs
// plus its length at kMinBodyRate. The figures are far above what a working
// server needs (a 128 MiB package at 4 KiB/s is 9 hours) and far below what
// holds the run, its single-instance window and a closed host client for
// good.
#pragma once
#include <windows.h>

constexpr DWORD kResponseDeadlineMs = 120000;
constexpr DWORD kIdleLimitMs = 60000;
constexpr DWORD kBodyBaseDeadlineMs = 120000;
constexpr DWORD kMinBodyRate = 4096;  // bytes per second, on average over the body

// A limit as this run applies it: test builds divide it by the time scale
// (common/test_hooks.h); never below 1 ms.
DWORD ScaledLimitMs(DWORD ms);
// The whole-body deadline, scaled, for a body of length bytes.
ULONGLONG BodyDeadlineMs(DWORD length);
