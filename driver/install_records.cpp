#include "driver/install_records.h"

#include <windows.h>

#include "common/bounded_text.h"
#include "settings/folders.h"

void DeleteManifest() {
  char path[kPathSize];
  GetWorkingFolder(path, sizeof(path));
  if (path[0] == '\0') return;
  AppendBounded(path, "components.ini");
  DeleteFileA(path);
}
