// The owning array of removal records: every record it drops is discarded exactly once,
// and a refused append leaves the record with its caller.
#include "FakeObjects.h"
#include "QVRemovalRecordArray.h"
#include "RuntimeFixture.h"

namespace {

class RemovalRecordArrayTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }

  // A record holding one reference to each of the three objects, as the host's remove
  // fills it.
  static void Fill(RemovalRecord& record, CountingUnknown (&objects)[3]) {
    for (int i = 0; i < 3; ++i) {
      objects[i].AddRef();
      record.references[i] = &objects[i];
    }
  }
};

TEST_F(RemovalRecordArrayTest, DroppedRecordsReleaseTheirReferencesOnce) {
  enum class Drop { kShorten, kEmpty, kDestroy };
  for (Drop drop : {Drop::kShorten, Drop::kEmpty, Drop::kDestroy}) {
    SCOPED_TRACE(int(drop));
    CountingUnknown first[3], second[3];
    {
      TQVRemovalRecordArray records;
      RemovalRecord* fresh = records.AppendFresh();
      ASSERT_NE(fresh, nullptr);
      for (IUnknown* reference : fresh->references) EXPECT_EQ(reference, nullptr);
      Fill(*fresh, first);
      RemovalRecord taken;
      Fill(taken, second);
      ASSERT_TRUE(records.Append(taken));
      for (IUnknown* reference : taken.references) EXPECT_EQ(reference, nullptr) << "now the array's";
      ASSERT_EQ(records.Length(), 2);

      if (drop == Drop::kShorten) {
        ASSERT_TRUE(records.SetLength(1));
        for (auto& object : second) EXPECT_EQ(object.references, 1);
        for (auto& object : first) EXPECT_EQ(object.references, 2) << "the kept record";
      } else if (drop == Drop::kEmpty) {
        records.Empty();
        EXPECT_EQ(records.Length(), 0);
        EXPECT_EQ(records.Capacity(), 0);
        ASSERT_NE(records.AppendFresh(), nullptr) << "usable again";
      }
    }
    for (auto* objects : {first, second})
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(objects[i].references, 1);
        EXPECT_EQ(objects[i].releases, 1);
      }
  }
}

TEST_F(RemovalRecordArrayTest, RefusedMemoryLeavesTheRecordWithItsCaller) {
  CountingUnknown objects[3];
  TQVRemovalRecordArray records;
  RemovalRecord record;
  Fill(record, objects);
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  EXPECT_FALSE(records.Append(record));
  EXPECT_EQ(records.Length(), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(record.references[i], &objects[i]);
  qvhost::HostMemory::Instance().RefuseAllocation(1);
  EXPECT_EQ(records.AppendFresh(), nullptr);
  record.Discard();
  for (auto& object : objects) EXPECT_EQ(object.references, 1);
}

TEST_F(RemovalRecordArrayTest, LengthOnlyShrinks) {
  TQVRemovalRecordArray records;
  ASSERT_NE(records.AppendFresh(), nullptr);
  EXPECT_FALSE(records.SetLength(2)) << "records come only through appends";
  EXPECT_FALSE(records.SetLength(-1));
  EXPECT_EQ(records.Length(), 1);
}

}  // namespace
