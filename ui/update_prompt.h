// The update prompt: asks the user whether the update the run has found may
// be installed, with the server's prompt text and update page.
#pragma once

class CZHttpSession;

// Fetches update.txt from the package folder over the run's current
// connection, shows it with update.html in the update dialog and waits for
// the answer, which it logs. True only for "&Get the Update"; every other
// ending (the other button, closing, a quit message, no dialog) is no.
bool ShowUpdatePrompt(CZHttpSession& net, const char* packageBaseUrl);
