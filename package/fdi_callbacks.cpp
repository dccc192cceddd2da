#include "package/fdi_callbacks.h"

#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <cstring>

#include "common/bounded_text.h"

bool CreateFolderChain(const char* filePath) {
  char folder[kPathSize];
  CopyBounded(folder, filePath);
  char* last = strrchr(folder, '\\');
  if (last == nullptr) return false;
  *last = 0;
  char* slash = strchr(folder, '\\');
  if (slash == nullptr) return false;
  for (;;) {
    slash = strchr(slash + 1, '\\');
    if (slash != nullptr) *slash = 0;
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES &&
        !CreateDirectoryA(folder, nullptr)) {
      return false;
    }
    if (slash == nullptr) return true;
    *slash = '\\';
  }
}

INT_PTR OpenWithFolderRetry(const char* path, int flags, int mode) {
  INT_PTR handle = _open(path, flags, mode);
  // Only a file being created can need its folders; a read never does.
  if (handle == -1 && (flags & _O_CREAT) && CreateFolderChain(path))
    handle = _open(path, flags, mode);
  return handle;
}

CZCrtFile::~CZCrtFile() {
  if (m_handle != -1) _close(static_cast<int>(m_handle));
}

void* DIAMONDAPI FdiAllocate(ULONG size) { return malloc(size); }
void DIAMONDAPI FdiFree(void* memory) { free(memory); }
INT_PTR DIAMONDAPI FdiOpen(char* path, int flags, int mode) {
  return OpenWithFolderRetry(path, flags, mode);
}
UINT DIAMONDAPI FdiRead(INT_PTR handle, void* buffer, UINT size) {
  return _read(static_cast<int>(handle), buffer, size);
}
UINT DIAMONDAPI FdiWrite(INT_PTR handle, void* buffer, UINT size) {
  return _write(static_cast<int>(handle), buffer, size);
}
int DIAMONDAPI FdiClose(INT_PTR handle) { return _close(static_cast<int>(handle)); }
LONG DIAMONDAPI FdiSeek(INT_PTR handle, LONG offset, int origin) {
  return _lseek(static_cast<int>(handle), offset, origin);
}
int DIAMONDAPI FdiDecrypt(PFDIDECRYPT) { return 1; }
