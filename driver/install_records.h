// The host client's locale settings and the updater's own install-state records.
#pragma once

// Deletes components.ini from the working folder; a missing file is no error.
void DeleteManifest();
