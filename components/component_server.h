// Registration of an installed component that is a COM server.
#pragma once

// Loads the library at path, calls its DllRegisterServer when it exports
// one (its result is not examined) and unloads it. 1 when the library could
// be loaded, a library without the export included; else 0.
int RegisterComponentServer(const char* path);
