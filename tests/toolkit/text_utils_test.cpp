// Formatting and the temporary directory.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

// Catches an argument taken at the wrong width, and a long result overrunning the buffer.
TEST(FormatText, EveryConversionAndALongResultCutAt1024) {
  EXPECT_EQ(FormatText("%d|%u|%s|%x", -5, 4000000000u, std::string("abc"), 255),
            "-5|4000000000|abc|ff");
  EXPECT_EQ(FormatText("%s", std::string(3000, 'q')), std::string(1023, 'q'));
}

// Catches a folder without its backslash, and a TMP longer than the system's buffer.
TEST(TempDirectory, EndsInBackslashAndSurvivesAPathTooLongForTheBuffer) {
  const std::string temp = TempDirectory();
  EXPECT_TRUE(temp.ends_with('\\')) << temp;
  EXPECT_NE(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);

  char saved[1024] = {};
  const DWORD saved_length = GetEnvironmentVariableA("TMP", saved, sizeof saved);
  const std::string long_path = "C:\\" + std::string(300, 'd');
  SetEnvironmentVariableA("TMP", long_path.c_str());
  const std::string answer = TempDirectory();
  SetEnvironmentVariableA("TMP", saved_length ? saved : nullptr);
  EXPECT_EQ(answer.find('\0'), std::string::npos);
  EXPECT_TRUE(answer == long_path + "\\" || answer == ".\\") << answer;
}

}  // namespace
