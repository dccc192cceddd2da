// The manifest's feature settings handed to the host client.
#pragma once

// Copies every section that [Features] of manifestPath names into
// SOFTWARE\Zindo\Murvo\ComponentUpdate\<feature> of the current user (text
// values, empty ones included), then posts transmitMessage (1, 0) to the
// host client's ZindoBuddyMain window when one is up. Nothing waits for it,
// and a message of 0 (never registered) is not posted.
void PublishFeatureSettings(const char* manifestPath, unsigned transmitMessage);
