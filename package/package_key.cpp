#include "package/package_key.h"

bool LoadPackageKey() { return true; }
