// The host client's storage form of proxy passwords: byte i is XORed with
// i + 1 (8 bits). The same rule scrambles and unscrambles. No Win32 here.
#pragma once

// Applies the rule in place while i is below the text's current length; a
// byte that becomes zero ends the text there.
void ScrambleText(char* text);
