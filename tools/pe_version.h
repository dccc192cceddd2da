// The file version of a Windows program or library, read from its version
// resource without Windows: the numbers the updater compares with a
// manifest's FileVersion. Every offset is checked against the bytes given.
#pragma once
#include <string>
#include <vector>

#include "common/version_text.h"

// False, with the reason, when the bytes are not a PE file or it carries no
// version resource with a fixed file information block.
bool ReadPeFileVersion(const std::vector<unsigned char>& bytes, CZVersion* version,
                       std::string* reason);
