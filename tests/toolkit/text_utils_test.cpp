// Formatting through wvsprintfA, file-name helpers, the temporary directory, system error
// texts and flag sets.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "toolkit/text_utils.h"

using namespace velmora;

TEST(FormatText, FormatsTheSizeLineAndCutsAt1024) {
  EXPECT_EQ(FormatText("Size: %dx%d , %u.%u Kb", 640, 480, 55u, 9u), "Size: 640x480 , 55.9 Kb");
  EXPECT_EQ(FormatText("%d|%u|%s|%x", -5, 4000000000u, std::string("abc"), 255),
            "-5|4000000000|abc|ff");
  EXPECT_EQ(FormatText("plain"), "plain");
  std::string longText(3000, 'q');
  EXPECT_EQ(FormatText("%s", longText).size(), 1024u - 1);
}

TEST(IntToText, CoversSignAndExtremes) {
  EXPECT_EQ(IntToText(0), "0");
  EXPECT_EQ(IntToText(-7), "-7");
  EXPECT_EQ(IntToText(INT_MAX), std::to_string(INT_MAX));
  EXPECT_EQ(IntToText(INT_MIN), std::to_string(INT_MIN));
}

TEST(FileNames, LastSeparatorAndTrailingBackslash) {
  EXPECT_EQ(FileNameOf("C:\\photos\\a.jpg"), "a.jpg");
  EXPECT_EQ(FileNameOf("C:a.jpg"), "a.jpg");
  EXPECT_EQ(FileNameOf("a.jpg"), "a.jpg");
  EXPECT_EQ(FileNameOf("dir/a.jpg"), "dir/a.jpg");
  EXPECT_EQ(FileNameOf("C:\\photos\\"), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\Temp"), "C:\\Temp\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\Temp\\"), "C:\\Temp\\");
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
}

TEST(TempDirectory, EndsInBackslashAndSurvivesAPathTooLongForTheBuffer) {
  std::string temp = TempDirectory();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), '\\');
  EXPECT_NE(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);

  char saved[1024] = {};
  DWORD savedLength = GetEnvironmentVariableA("TMP", saved, sizeof(saved));
  std::string longPath = "C:\\" + std::string(300, 'd');
  SetEnvironmentVariableA("TMP", longPath.c_str());
  std::string answer = TempDirectory();
  SetEnvironmentVariableA("TMP", savedLength ? saved : nullptr);
  ASSERT_FALSE(answer.empty());
  EXPECT_EQ(answer.back(), '\\');
  EXPECT_EQ(answer.find(std::string(1, '\0')), std::string::npos);
  EXPECT_TRUE(answer == WithTrailingBackslash(longPath) || answer == ".\\") << answer;
}

TEST(SystemErrorText, TrimsLineBreaksAndIsEmptyForUnknownCodes) {
  std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_GT(static_cast<unsigned char>(text.back()), 32);
  EXPECT_EQ(SystemErrorText(0x2FFFFFF0), "");
}

TEST(Helpers, RectanglesFlagSetsAndTexts) {
  EXPECT_TRUE(PointInsideRect(POINT{10, 10}, RectOf(0, 0, 10, 10)));
  EXPECT_FALSE(PointInsideRect(POINT{11, 10}, RectOf(0, 0, 10, 10)));
  EXPECT_TRUE(SameRect(RectOf(1, 2, 3, 4), RectOf(1, 2, 3, 4)));
  EXPECT_FALSE(SameRect(RectOf(1, 2, 3, 4), RectOf(1, 2, 3, 5)));

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
  EXPECT_EQ(FindLastChar(text, '\0'), text + 7);
  EXPECT_EQ(FindLastChar(text, 'z'), nullptr);
  EXPECT_EQ(AllocZeroed(0), nullptr);
  EXPECT_TRUE(SameBytes("ab", "ac", 1));
  EXPECT_FALSE(SameBytes("ab", "ac", 2));
}
