// Hooks that exist only in test builds (ZUPDATER_TEST_HOOKS): what ships
// compiles none of this, so no environment variable can change its run.
#pragma once
#ifdef ZUPDATER_TEST_HOOKS

// The divisor of the network deadlines, from ZUPDATER_TEST_TIME_SCALE (a
// whole number); 1 when it is unset or not a number of at least 1.
unsigned TestTimeScale();

// A step about to change a file, a registry value or a process. With
// ZUPDATER_CRASH_LOG naming a file, the step is appended to it as
// "<number> <step> <detail> <process id>", numbered across every process
// that shares the file; when ZUPDATER_CRASH_AT is that number, or a text
// whose parts (split at '*') this line holds in order (the first such
// step), the process ends at once, as a kill would end it, before the step.
void PassCrashPoint(const char* step, const char* detail);
#define ZU_CRASH_POINT(step, detail) PassCrashPoint(step, detail)

#else
#define ZU_CRASH_POINT(step, detail) ((void)0)
#endif
