// The signature covers the bytes from the first file entry to the declared
// cabinet size, but the decompressor finds files and data through the header
// and the folder entries, which it does not cover. This check holds a cabinet
// to the one layout in which everything the decompressor reads for the files
// lies in that signed region, so that a verified image installs exactly what
// was signed. The only unsigned choice it leaves is each folder's
// compression method.
#pragma once
#include <string>

#include "package/signature_record.h"

// True when image is a cabinet of format version 1.3, on its own (no
// previous or next cabinet), whose file entries start right after the header,
// its reserved area and the folder entries, whose data blocks follow the file
// entries folder after folder without a gap and end exactly at the declared
// cabinet size, and whose blocks hold exactly the files' bytes. Otherwise
// false with the first fault found, as a sentence fragment.
bool CheckCabinetLayout(CZByteSource& image, std::string* fault);
