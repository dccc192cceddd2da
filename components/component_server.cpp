#include "components/component_server.h"

#include <windows.h>

#include "common/handles.h"
#include "common/test_hooks.h"

namespace {
using RegisterServerFn = HRESULT(WINAPI*)();
}  // namespace

int RegisterComponentServer(const char* path) {
  CZUniqueModule module(LoadLibraryA(path));
  if (!module.valid()) return 0;
  FARPROC entry = GetProcAddress(module.get(), "DllRegisterServer");
  if (entry != nullptr) ZU_CRASH_POINT("register", path);
  if (entry != nullptr) reinterpret_cast<RegisterServerFn>(reinterpret_cast<void*>(entry))();
  return 1;
}
