#include "common/command_program.h"

#include <gtest/gtest.h>

#include <string>

struct CommandCase {
  const char* label;
  std::string command;
  std::string program;
};

// Names the case in test listings.
void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.label; }

class ProgramOfCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ProgramOfCommandTest, TakesTheProgramOutOfQuotesAndArguments) {
  EXPECT_EQ(GetParam().program, ProgramOfCommand(GetParam().command));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ProgramOfCommandTest,
    ::testing::Values(
        CommandCase{"Bare", "C:\\Zindo\\murvo.exe", "C:\\Zindo\\murvo.exe"},
        CommandCase{"SpacesInFolder", "C:\\Program Files\\Zindo\\murvo.exe",
                    "C:\\Program Files\\Zindo\\murvo.exe"},
        CommandCase{"Quoted", "\"C:\\Program Files\\murvo.exe\" /x",
                    "C:\\Program Files\\murvo.exe"},
        CommandCase{"LeadingBlanks", "  \"C:\\a\\murvo.exe\"", "C:\\a\\murvo.exe"},
        CommandCase{"UnclosedQuote", "\"C:\\a b\\murvo.exe", "C:\\a b\\murvo.exe"},
        CommandCase{"ExeThenArgument", "C:\\Program Files\\murvo.EXE -arg",
                    "C:\\Program Files\\murvo.EXE"},
        // ".exe" inside a folder name does not end the program.
        CommandCase{"ExeInFolderName", "C:\\a.exed\\murvo.exe /x", "C:\\a.exed\\murvo.exe"},
        CommandCase{"NoExeArgument", "C:\\Zindo\\murvo /x", "C:\\Zindo\\murvo"},
        CommandCase{"TrailingBlanks", "C:\\Zindo\\murvo.exe   ", "C:\\Zindo\\murvo.exe"},
        CommandCase{"StrayQuote", "C:\\Zindo\\murvo\"x.exe /y", "C:\\Zindo\\murvo"},
        CommandCase{"BlanksInsideQuotes", "\"C:\\a\\murvo.exe  \" /x", "C:\\a\\murvo.exe"},
        CommandCase{"Empty", "", ""}, CommandCase{"OnlyQuotes", "\"\"", ""}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return info.param.label; });

TEST(FileNameOfPathTest, TextAfterTheLastSeparator) {
  EXPECT_EQ("murvo.exe", FileNameOfPath("C:\\Program Files\\murvo.exe"));
  EXPECT_EQ("murvo.exe", FileNameOfPath("C:/Zindo/murvo.exe"));
  EXPECT_EQ("murvo.exe", FileNameOfPath("murvo.exe"));
  EXPECT_EQ("", FileNameOfPath("C:\\Zindo\\"));
}
