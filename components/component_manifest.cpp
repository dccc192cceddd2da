#include "components/component_manifest.h"

#include "common/update_log.h"
#include "components/manifest_sections.h"

bool LoadComponentManifest(const char* manifestPath, std::vector<CZComponent>* list) {
  bool cut = false;
  std::vector<std::string> names =
      ReadKeyNames(manifestPath, "components", kComponentListSize, &cut);
  if (names.empty() && !cut) return false;
  for (const std::string& name : names) {
    CZComponent component(manifestPath, name);
    if (!component.LoadFromManifest()) {
      WriteLog("Component %s refused: no safe place for its file\r\n", name.c_str());
      continue;
    }
    list->push_back(std::move(component));
  }
  if (cut) {
    WriteLog("Component list longer than %u bytes: only its first %u names are read\r\n",
             static_cast<unsigned>(kComponentListSize), static_cast<unsigned>(names.size()));
  }
  return true;
}
