// Memory streams: growth, truncation, seeks. (One file under other names, and other files with
// equal bytes, are told apart by the end-to-end saves and tests/app/names_test.)
#include <gtest/gtest.h>

#include <string>

#include "toolkit/stream.h"

using namespace velmora;

namespace {

std::string Bytes(Stream* s) { return std::string(static_cast<char*>(s->Memory), s->Size()); }

// Reads stop at the end; SetSize cuts the data, pulls the position in and keeps a block at 0.
TEST(MemoryStream, ReadsWritesGrowsAndTruncates) {
  Stream* s = MakeMemoryStream();
  EXPECT_EQ(s->Write("0123456789", 10), 10u);
  char buffer[16] = {};
  EXPECT_EQ(s->Read(buffer, 4), 0u);
  s->SetPosition(7);
  EXPECT_EQ(s->Read(buffer, 16), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  s->SetPosition(2);
  s->Write("ab", 2);
  EXPECT_EQ(Bytes(s), "01ab456789");

  s->SetPosition(7);
  s->SetSize(3);
  EXPECT_EQ(Bytes(s), "01a");
  EXPECT_EQ(s->Position(), 3u);
  s->SetSize(0);
  EXPECT_EQ(s->Position(), 0u);
  EXPECT_NE(s->Memory, nullptr);
  s->Write("hello", 5);
  EXPECT_EQ(Bytes(s), "hello");
  s->Free();
}

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
