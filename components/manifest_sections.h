// Reading the component manifest (components.ini) with the system's INI
// functions: names and keys match without regard to case.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The key names of section in file order, as far as they fit complete in a
// list of limit bytes; a name that would be cut is left out with all after
// it, and *cut tells so. A missing file or section gives no names.
std::vector<std::string> ReadKeyNames(const char* manifestPath, const char* section, size_t limit,
                                      bool* cut);

// The value of key (fallback when missing) read into a buffer of size bytes:
// a longer value is cut to size - 1 characters.
std::string ReadManifestText(const char* manifestPath, const char* section, const char* key,
                             const char* fallback, size_t size);
