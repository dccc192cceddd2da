// The program of a registered command: always a piece of the command, never
// carrying a quote or the arguments' blank after an ".exe", and its file
// name holds no separator.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/command_program.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string command(reinterpret_cast<const char*>(data), size);
  const std::string program = ProgramOfCommand(command);
  FUZZ_CHECK(program.size() <= command.size());
  FUZZ_CHECK(command.find(program) != std::string::npos);
  FUZZ_CHECK(program.find('"') == std::string::npos);
  if (!program.empty()) {
    FUZZ_CHECK(program.back() != ' ' && program.back() != '\t');
  }
  const std::string name = FileNameOfPath(program);
  FUZZ_CHECK(name.find_first_of("\\/") == std::string::npos);
  FUZZ_CHECK(program.size() >= name.size() &&
             program.compare(program.size() - name.size(), name.size(), name) == 0);
  return 0;
}
