// Formatting, file-name helpers, the temporary directory, flag sets and null-safe texts.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "toolkit/text_utils.h"

using namespace velmora;

namespace {

// The size line and every conversion; a long result is cut to the buffer, not overrun.
TEST(FormatText, FormatsTheSizeLineAndCutsAt1024) {
  EXPECT_EQ(FormatText("Size: %dx%d , %u.%u Kb", 640, 480, 55u, 9u), "Size: 640x480 , 55.9 Kb");
  EXPECT_EQ(FormatText("%d|%u|%s|%x", -5, 4000000000u, std::string("abc"), 255),
            "-5|4000000000|abc|ff");
  EXPECT_EQ(FormatText("%s", std::string(3000, 'q')), std::string(1023, 'q'));
  EXPECT_EQ(IntToText(INT_MIN), std::to_string(INT_MIN));
}

TEST(FileNames, NameAfterTheLastSeparator) {
  for (const char* dir : {"C:\\photos\\", "C:", "", "D:\\a b\\c\\"}) {
    EXPECT_EQ(FileNameOf(std::string(dir) + "a.jpg"), "a.jpg") << dir;
  }
  EXPECT_EQ(FileNameOf("dir/a.jpg"), "dir/a.jpg");
  EXPECT_EQ(FileNameOf("C:\\photos\\"), "");
}

// Ends in a backslash, also when TMP is longer than the system's buffer.
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

// Flag sets map through the table (a negative entry is a flag set when absent); null texts
// and empty searches give empty results, not crashes.
TEST(Helpers, FlagSetsAndNullSafeTexts) {
  const int32_t table[2] = {4, ~64};
  EXPECT_EQ(FlagsFromSet(0, table, 2), 64u);
  EXPECT_EQ(FlagsFromSet(3, table, 2), 4u);
  char dest[8];
  EXPECT_STREQ(CopyTextMax(dest, "abcdef", 3), "abc");
  EXPECT_STREQ(CopyText(dest, nullptr), "");
  EXPECT_EQ(TextLength(nullptr), 0u);
  const char* text = "a\\b:c\\d";
  EXPECT_EQ(FindLastDelimiter(text, ":\\"), text + 5);
  EXPECT_EQ(*FindLastDelimiter("abc", ":\\"), '\0');
  EXPECT_EQ(FindLastChar(text, 'z'), nullptr);
  EXPECT_EQ(AllocZeroed(0), nullptr);
}

}  // namespace
