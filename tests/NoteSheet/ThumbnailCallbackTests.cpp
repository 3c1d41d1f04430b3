// The thumbnail render callback as an object: its interfaces, its counts and what it
// keeps, linked directly.
#include <atomic>
#include <thread>
#include <vector>

#include "FakeObjects.h"
#include "RuntimeFixture.h"
#include "ThumbnailRender.h"

namespace {

class ThumbnailCallbackTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
  TThumbnailRenderCallback* Make(IUnknown* progress) {
    const TQVFixedString<63> folder("/home/user/page_images/");
    return QVNewObject<TThumbnailRenderCallback>(nullptr, 36000, nullptr, true, 0, progress, 2, folder);
  }
};

TEST_F(ThumbnailCallbackTest, AnswersItsInterfaceAndTheCountedPartAndKeepsWhatItIsGiven) {
  CountingUnknown progress, linked, other;
  TThumbnailRenderCallback* callback = Make(&progress);
  ASSERT_NE(callback, nullptr);
  EXPECT_EQ(progress.references, 2);
  IRenderCallback* answer = nullptr;
  EXPECT_EQ(callback->QueryInterface(IRenderCallback::kID, reinterpret_cast<void**>(&answer)), kQVOk);
  EXPECT_EQ(answer, static_cast<IRenderCallback*>(callback));
  IUnknown* unknown = nullptr;
  EXPECT_EQ(callback->QueryInterface(kIID_IUnknown, reinterpret_cast<void**>(&unknown)), kQVOk);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(static_cast<TQVRefObject*>(callback)));
  void* none = nullptr;
  EXPECT_EQ(callback->QueryInterface(CountingUnknown::kID, &none), kQVErrNoInterface);
  EXPECT_EQ(none, nullptr);
  unknown->Release();
  EXPECT_EQ(answer->Release(), 1);

  for (QVResult result : {callback->Reserved4(nullptr), callback->Reserved5(), callback->Reserved6(),
                          callback->Reserved7(nullptr), callback->Reserved8(nullptr)})
    EXPECT_EQ(result, kQVOk);

  callback->SetLinkedObject(&linked);
  callback->SetLinkedObject(&linked);
  EXPECT_EQ(linked.references, 2) << "the same object is kept once";
  callback->SetLinkedObject(&other);
  EXPECT_EQ(linked.references, 1);
  EXPECT_EQ(other.references, 2);
  EXPECT_EQ(callback->Release(), 0);
  EXPECT_EQ(progress.references, 1) << "released with the callback";
  EXPECT_EQ(other.references, 1);
}

TEST_F(ThumbnailCallbackTest, TheRendererMayCountReferencesFromSeveralThreads) {
  TThumbnailRenderCallback* callback = Make(nullptr);
  ASSERT_NE(callback, nullptr);
  constexpr int kThreads = 4, kEach = 100000;
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (--waiting; waiting > 0;) std::this_thread::yield();
      for (int i = 0; i < kEach; ++i) callback->AddRef();
      for (int i = 0; i < kEach; ++i) static_cast<IRenderCallback*>(callback)->Release();
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(callback->AddRef(), 2) << "no reference was lost";
  callback->Release();
  EXPECT_EQ(callback->Release(), 0);
}

}  // namespace
