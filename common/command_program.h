// The program a registered command starts: a class registration's server
// value may quote the path and may carry arguments after it. No Win32 here.
#pragma once
#include <string>

// The program path of command: the text inside leading quotes; else, for an
// unquoted command, the text up to the first ".exe" that ends a word, or up
// to the first blank after the last backslash. White space around it goes.
std::string ProgramOfCommand(const std::string& command);

// The file name of a path: the text after its last backslash or "/", all of
// it when it has neither.
std::string FileNameOfPath(const std::string& path);
