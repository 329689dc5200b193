#include "RecordBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "BlockBytes.h"

namespace {

TEST(WRec, DefaultHoldsAFullBodyAndTheZeroByteAfterIt) {
  WRec r;
  EXPECT_EQ(r.Capacity(), UseLenRec);
  EXPECT_EQ(r.Flag, 0);
  EXPECT_EQ(r.Next, EmptyAdr);
  EXPECT_EQ(r.Len, 0);
  std::memset(r.Data, 'x', UseLenRec);
  r.Data[UseLenRec] = 0; // the spare byte; ASan reports an overrun here otherwise
  EXPECT_EQ(std::strlen(r.Data), static_cast<size_t>(UseLenRec));
}

TEST(WRec, SizedBuffer) {
  WRec r(10);
  EXPECT_EQ(r.Capacity(), 10);
  r.Data[10] = 0;
  WRec neg(-5);
  EXPECT_EQ(neg.Capacity(), 0);
}

TEST(WRec, EndRecordIsLengthOneAndAt) {
  WRec r;
  r.Len = 1;
  r.Data[0] = '@';
  EXPECT_TRUE(r.IsEof());
  r.Data[0] = 'A';
  EXPECT_FALSE(r.IsEof());
  r.Len = 2;
  r.Data[0] = '@';
  EXPECT_FALSE(r.IsEof());
}

class Pool : public ::testing::Test {
protected:
  void SetUp() override { InitBuf(); }
  void TearDown() override { DeInitBuf(); }
};

TEST_F(Pool, FreedBufferIsHandedOutAgain) {
  WRec *a = GetBuf();
  WRec *b = GetBuf();
  EXPECT_NE(a, b);
  EXPECT_EQ(a->Capacity(), UseLenRec);
  a->Data[0] = 'q';
  FreeBuf(a);
  WRec *c = GetBuf();
  EXPECT_EQ(c, a);
  EXPECT_EQ(c->Data[0], 'q') << "a reused buffer keeps its contents";
  EXPECT_EQ(PoolEntries(), 2);
  FreeBuf(b);
  FreeBuf(c);
}

TEST_F(Pool, KeepsAtMostFifteenEntries) {
  std::vector<WRec *> used;
  for (int i = 0; i < 17; ++i)
    used.push_back(GetBuf());
  EXPECT_EQ(PoolEntries(), 17);
  FreeBuf(used[0]); // 17 entries: destroyed
  EXPECT_EQ(PoolEntries(), 16);
  FreeBuf(used[1]); // 16 entries: destroyed
  EXPECT_EQ(PoolEntries(), 15);
  FreeBuf(used[2]); // 15 entries: kept for reuse
  EXPECT_EQ(PoolEntries(), 15);
  EXPECT_EQ(GetBuf(), used[2]);
  for (size_t i = 2; i < used.size(); ++i)
    FreeBuf(used[i]);
  EXPECT_EQ(PoolEntries(), 15);
}

TEST_F(Pool, FreeingABufferNotInUseRaisesCode4) {
  WRec *a = GetBuf();
  FreeBuf(a);
  ZError twice = bb::CatchZ([&] { FreeBuf(a); });
  EXPECT_EQ(twice.HelpContext, 4);
  EXPECT_EQ(twice.Message, "");
  WRec foreign;
  EXPECT_EQ(bb::CatchZ([&] { FreeBuf(&foreign); }).HelpContext, 4);
  EXPECT_EQ(PoolEntries(), 1) << "a refused FreeBuf leaves the pool unchanged";
  EXPECT_EQ(GetBuf(), a);
  FreeBuf(a);
}

TEST(PoolLifetime, DeInitDropsEverythingAndGetBufStartsAfresh) {
  InitBuf("ignored");
  WRec *a = GetBuf();
  DeInitBuf();
  EXPECT_EQ(PoolEntries(), 0);
  EXPECT_EQ(bb::CatchZ([&] { FreeBuf(a); }).HelpContext, 4);
  WRec *b = GetBuf(); // works without InitBuf
  EXPECT_EQ(PoolEntries(), 1);
  FreeBuf(b);
  DeInitBuf();
}

} // namespace
