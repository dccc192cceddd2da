// The C-runtime I/O the cabinet decompressor is driven with, and the folder
// creation that lets a file be opened below folders that do not exist yet.
#pragma once
#include <windows.h>
// fdi.h needs the types windows.h declares.
#include <fdi.h>

// Creates the missing folders of filePath (not the file name itself), from
// the first backslash on; the drive before it is never created. False when
// the path has no folder part or a folder cannot be created.
bool CreateFolderChain(const char* filePath);

// Opens with the C runtime; an open that creates the file and fails is
// retried once after its folders were made. The handle or -1.
INT_PTR OpenWithFolderRetry(const char* path, int flags, int mode);

// Owns a C-runtime file handle.
class CZCrtFile {
 public:
  explicit CZCrtFile(INT_PTR handle) : m_handle(handle) {}
  CZCrtFile(const CZCrtFile&) = delete;
  CZCrtFile& operator=(const CZCrtFile&) = delete;
  ~CZCrtFile();
  INT_PTR get() const { return m_handle; }
  bool valid() const { return m_handle != -1; }

 private:
  INT_PTR m_handle;
};

// Callbacks for FDICreate and FDICopy.
void* DIAMONDAPI FdiAllocate(ULONG size);
void DIAMONDAPI FdiFree(void* memory);
INT_PTR DIAMONDAPI FdiOpen(char* path, int flags, int mode);
UINT DIAMONDAPI FdiRead(INT_PTR handle, void* buffer, UINT size);
UINT DIAMONDAPI FdiWrite(INT_PTR handle, void* buffer, UINT size);
int DIAMONDAPI FdiClose(INT_PTR handle);
LONG DIAMONDAPI FdiSeek(INT_PTR handle, LONG offset, int origin);
int DIAMONDAPI FdiDecrypt(PFDIDECRYPT decrypt);
