// Hooks that exist only in test builds (ZUPDATER_TEST_HOOKS): what ships
// compiles none of this, so no environment variable can change its run.
#pragma once
#ifdef ZUPDATER_TEST_HOOKS

// The divisor of the network deadlines, from ZUPDATER_TEST_TIME_SCALE (a
// whole number); 1 when it is unset or not a number of at least 1.
unsigned TestTimeScale();

#endif
