// Reads one stored file out of a cabinet image without Windows: stored and
// MSZIP folders (the methods zpkg makes), for the site checks that look
// inside a package.
#pragma once
#include <string>

#include "tools/cab_image.h"

// The file stored under name (compared without regard to case). False, with
// the reason, when no file has that name, its folder uses another method or
// its data do not decompress to the file's size.
bool ExtractCabFile(const CZCabImage& image, const std::string& name, CZBytes* contents,
                    std::string* reason);
