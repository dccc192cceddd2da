// The names a cabinet stores its files under: the only thing that places an
// extracted file, and not covered by the signature.
#pragma once

// True when name stays below the folder it is extracted into: not empty,
// not absolute, no drive or stream colon, no ".." (or other dots-only) step,
// under either separator.
bool IsSafeStoredName(const char* name);
