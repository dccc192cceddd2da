// The names a cabinet stores its files under: the only thing that places an
// extracted file, and not covered by the signature.
#pragma once

// True when name stays below the folder it is extracted into: not empty,
// not absolute, no drive or stream colon, no ".." (or other dots-only) step,
// under either separator, and no step that names a device (CON, NUL, COM1,
// LPT¹ and the like, with or without an extension).
bool IsSafeStoredName(const char* name);
