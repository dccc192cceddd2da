// The manifest's [components] section turned into the run's component list.
#pragma once
#include <vector>

#include "components/component.h"
#include "components/manifest_rules.h"

// Appends one loaded record per name of [components], in file order, to
// list. A component the manifest would place outside the host client's
// folders is refused with a log line and left out; names that do not fit
// the list whole are left out with a log line. True when the section
// yielded any name.
bool LoadComponentManifest(const char* manifestPath, std::vector<CZComponent>* list);
