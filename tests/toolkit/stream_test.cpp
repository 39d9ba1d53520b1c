// Memory streams: seeks. (Reading and writing them: every shrink and save compares the bytes.) (One
// file under other names, and other files with equal bytes, are told apart by the end-to-end saves
// and tests/app/names_test.)
#include <gtest/gtest.h>

#include <string>

#include "toolkit/stream.h"

using namespace velmora;

namespace {

std::string Bytes(Stream* s) { return std::string(static_cast<char*>(s->Memory), s->Size()); }

// A seek past the end grows the stream; one before the start stops at 0, never negative.
TEST(MemoryStream, SeeksPastTheEndGrowAndNegativeSeeksStopAtTheStart) {
  Stream* s = MakeMemoryStream();
  s->Write("abcd", 4);
  EXPECT_EQ(s->Seek(10, SeekFromEnd), 14u);
  EXPECT_EQ(s->Size(), 14u);
  EXPECT_EQ(s->Seek(-4, SeekFromCurrent), 10u);
  EXPECT_EQ(s->Seek(-100, SeekFromCurrent), 0u);
  EXPECT_EQ(s->Seek(-100, SeekFromBeginning), 0u);
  s->Write("XY", 2);
  EXPECT_EQ(Bytes(s).substr(0, 4), "XYcd");
  EXPECT_EQ(s->Size(), 14u);
  s->Free();
}

}  // namespace
