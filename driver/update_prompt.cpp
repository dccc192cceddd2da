#include "ui/update_prompt.h"

#include "driver/updater.h"

bool CZUpdater::PromptForUpdate() {
  return ShowUpdatePrompt(*m_net, m_settings.PackageBaseUrl().c_str());
}
