// The text file stream over the reference host's real files: the buffer
// window, the state bits, the number readers and writers, quoted strings, relative file
// references and the reopen record; and the host's file object on its own.
#include <stdlib.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "ExpectRaise.h"
#include "IHostFiles.h"
#include "QVServiceTable.h"
#include "QVTextStream.h"
#include "RuntimeFixture.h"
#include "TestFiles.h"
#include "files/HostFile.h"

namespace {

struct StreamDeleter {
  void operator()(TFileTextStream* stream) const { QVDeleteStream(stream); }
};
using StreamPtr = std::unique_ptr<TFileTextStream, StreamDeleter>;

constexpr int32_t kWindow = 0x7F00;  // the HTML export's 32512 bytes
constexpr uint32_t kRead = kQVFileReadable;
constexpr uint32_t kWrite = kQVFileWritable;

qvhost::HostFile* HostFileOf(TFileTextStream& stream) {
  return static_cast<qvhost::HostFile*>(stream.HostStream());
}

class TextStreamTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
    std::string pattern = testing::TempDir() + "qv-textstream-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fFolder = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(fFolder, ignored);
    RuntimeTest::TearDown();
  }

  std::string PathOf(const std::string& name) const { return fFolder + "/" + name; }
  std::string MakeFile(const std::string& name, const std::string& bytes) const {
    const std::string path = PathOf(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  static StreamPtr Open(const std::string& path, uint32_t mode, int32_t capacity, bool* created = nullptr) {
    return StreamPtr(TFileTextStream::New(TQVDynamicString(path.c_str()), mode, capacity, created));
  }
  // A read-only stream over `bytes`.
  StreamPtr Over(const std::string& bytes, int32_t capacity) {
    return Open(MakeFile("input-" + std::to_string(++fInputs), bytes), kRead, capacity);
  }
  // What `write` puts into a new file through a stream of `capacity`.
  std::string Written(const std::function<void(TTextStream&)>& write, int32_t capacity = kWindow) {
    const std::string path = PathOf("output-" + std::to_string(++fInputs));
    {
      StreamPtr stream = Open(path, kWrite, capacity);
      EXPECT_TRUE(stream && stream->Good());
      if (stream) write(*stream);
    }
    return ReadFile(path);
  }
  // The unread bytes (up to 64).
  static std::string Rest(TTextStream& stream) {
    char bytes[64];
    stream.ClearState();
    stream.Read(bytes, sizeof bytes);
    return std::string(bytes, size_t(stream.LastReadCount()));
  }

  std::string fFolder;
  int fInputs = 0;
};

const int32_t kCapacities[] = {0, 1, 2, 7, kWindow};

// ---- Writing through the window ------------------------------------------------------

TEST_F(TextStreamTest, SmallWritesReachTheFileAtDestruction) {
  const std::string path = PathOf("abc.txt");
  bool created = false;
  StreamPtr stream = Open(path, kWrite, kWindow, &created);
  ASSERT_TRUE(stream);
  EXPECT_TRUE(stream->Good());
  EXPECT_TRUE(created);
  EXPECT_EQ(stream->AccessFlags(), kWrite);
  stream->Write("ab", 2);
  stream->WriteChar('c');
  EXPECT_EQ(ReadFile(path), "") << "only memory is copied while the window has room";
  EXPECT_EQ(HostFileOf(*stream)->WriteCalls(), 0);
  EXPECT_EQ(stream->Tell(), 3);
  EXPECT_EQ(stream->Length(), 3);
  stream.reset();
  EXPECT_EQ(ReadFile(path), "abc");

  // Flush writes the window out; the window goes on and is written again later.
  StreamPtr flushed = Open(path, kWrite, kWindow);
  flushed->WriteText("xy");
  flushed->Flush();
  EXPECT_EQ(ReadFile(path), "xy") << "a stream that cannot read truncates the file";
  flushed->Flush();
  EXPECT_EQ(HostFileOf(*flushed)->WriteCalls(), 1) << "nothing new to write";
  flushed->WriteChar('z');
  TQVCountedPtr<IHostFileStream> host;
  host.Assign(flushed->HostStream());
  flushed.reset();
  EXPECT_EQ(static_cast<qvhost::HostFile*>(host.Get())->WriteCalls(), 2);
  EXPECT_EQ(ReadFile(path), "xyz");
}

TEST_F(TextStreamTest, FortyThousandBytesThroughTheWindowAreWrittenInTwoPieces) {
  std::string bytes(40000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char('a' + i % 26);
  for (int32_t piece : {40000, 100, 1}) {
    SCOPED_TRACE(piece);
    const std::string path = PathOf("big-" + std::to_string(piece));
    StreamPtr stream = Open(path, kWrite, kWindow);
    ASSERT_TRUE(stream && stream->Good());
    for (size_t at = 0; at < bytes.size(); at += size_t(piece)) stream->Write(bytes.data() + at, piece);
    EXPECT_TRUE(stream->Good());
    EXPECT_EQ(stream->Length(), 40000);
    EXPECT_EQ(stream->Tell(), 40000);
    TQVCountedPtr<IHostFileStream> host;
    host.Assign(stream->HostStream());
    EXPECT_EQ(HostFileOf(*stream)->WriteCalls(), 1) << "the full window";
    stream.reset();
    EXPECT_EQ(static_cast<qvhost::HostFile*>(host.Get())->WriteCalls(), 2) << "and the rest at destruction";
    EXPECT_EQ(ReadFile(path), bytes);
  }
}

TEST_F(TextStreamTest, WritesLargerThanTwoWindowsAndUnbufferedWrites) {
  std::string bytes(100000, 'x');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
  for (int32_t capacity : {0, 1, 7, 4096}) {
    SCOPED_TRACE(capacity);
    const std::string text = Written([&](TTextStream& s) { s.Write(bytes.data(), int32_t(bytes.size())); }, capacity);
    EXPECT_EQ(text, bytes);
  }
}

TEST_F(TextStreamTest, WritingWithoutWriteAccessWritesNothingAndFails) {
  const std::string path = MakeFile("read-only.txt", "keep");
  StreamPtr stream = Open(path, kRead, kWindow);
  ASSERT_TRUE(stream && stream->Good());
  stream->Write("xyz", 3);
  stream->WriteText("more");
  EXPECT_TRUE(stream->Failed());
  stream.reset();
  EXPECT_EQ(ReadFile(path), "keep");

  StreamPtr writer = Open(PathOf("write-only.txt"), kWrite, kWindow);
  char c = 'q';
  writer->Read(&c, 1);
  EXPECT_TRUE(writer->Failed()) << "reading from a stream not opened for reading";
  EXPECT_EQ(c, 'q');
  writer->ClearState();
  writer->Unget('a');
  EXPECT_TRUE(writer->Failed());
}

TEST_F(TextStreamTest, OpeningFailures) {
  bool created = true;
  StreamPtr missing = Open(PathOf("missing.txt"), kRead, kWindow, &created);
  ASSERT_TRUE(missing);
  EXPECT_TRUE(missing->Failed());
  EXPECT_FALSE(created);
  EXPECT_EQ(missing->HostStream(), nullptr);
  // A failed stream stays failed: writes, reads and seeks only set the failure bit.
  missing->ClearState();
  missing->Seek(0, 0);
  EXPECT_TRUE(missing->Failed());
  EXPECT_EQ(missing->Tell(), 0);

  created = true;
  StreamPtr mustExist = Open(PathOf("missing.txt"), kWrite | kQVFileMustExist, kWindow, &created);
  EXPECT_TRUE(mustExist->Failed());
  EXPECT_FALSE(created);
  EXPECT_FALSE(std::filesystem::exists(PathOf("missing.txt")));

  StreamPtr unopened(TFileTextStream::New());
  ASSERT_TRUE(unopened);
  EXPECT_EQ(unopened->OpenByPath(TQVDynamicString(PathOf("missing.txt").c_str()), kRead, 16, nullptr),
            kQVErrFileNotFound);
  EXPECT_TRUE(unopened->Failed());
  EXPECT_EQ(unopened->OpenByPath(TQVDynamicString(PathOf("made.txt").c_str()), kRead | kWrite, 16, &created),
            kQVOk);
  EXPECT_TRUE(created);
  EXPECT_TRUE(std::filesystem::exists(PathOf("made.txt")));
}

// A path the host cannot take whole is refused; a shortened one would name another file.
TEST_F(TextStreamTest, PathsLongerThan1023BytesAreRefusedAndNothingIsWritten) {
  std::string folder = fFolder;
  while (folder.size() < 900) folder += "/" + std::string(100, 'd');
  std::filesystem::create_directories(folder);
  struct Case {
    size_t length;
    bool opens;
  };
  for (const Case& c : {Case{1023, true}, Case{1024, false}, Case{1100, false}}) {
    SCOPED_TRACE(c.length);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + std::string(c.length - folder.size() - 1, 'f');
    ASSERT_EQ(path.size(), c.length);
    bool created = !c.opens;
    StreamPtr stream(TFileTextStream::New());
    const QVResult result = stream->OpenByPath(TQVDynamicString(path.c_str()), kRead | kWrite, 16, &created);
    EXPECT_EQ(result == kQVOk, c.opens);
    EXPECT_EQ(stream->Failed(), !c.opens);
    EXPECT_EQ(created, c.opens);
    stream->WriteText("text");
    stream.reset();
    const auto entries = std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator());
    EXPECT_EQ(entries, c.opens ? 1 : 0) << "no file of another name is made";
    if (c.opens) {
      EXPECT_EQ(ReadFile(path), "text");
    }
  }
}

TEST_F(TextStreamTest, AttachToAFileSpecification) {
  const std::string path = MakeFile("attach.txt", "hello");
  TQVCountedPtr<IHostFileSpec> file = qvhost::MakeHostFile();
  ASSERT_EQ(file->SetFromPath(TQVFixedString<255>(path.c_str()), 0), kQVOk);
  ASSERT_EQ(file->SetOpenMode(kRead | kWrite), kQVOk);
  StreamPtr stream(TFileTextStream::New());
  bool created = true;
  EXPECT_EQ(stream->Attach(file, 3, &created), kQVOk);
  EXPECT_FALSE(created);
  EXPECT_EQ(stream->Capacity(), 3);
  EXPECT_EQ(stream->Length(), 5);
  EXPECT_EQ(stream->AccessFlags(), kRead | kWrite);
  TQVDynamicString word;
  stream->ReadString(word);
  EXPECT_STREQ(word.CStr(), "hello");
  TQVDynamicString own;
  stream->GetOwnPath(own);
  EXPECT_EQ(own.CStr(), path);
}

TEST_F(TextStreamTest, RefusedBufferIsHalvedThenTheOpenFails) {
  const TQVDynamicString path(MakeFile("halve.txt", "data").c_str());
  auto& memory = qvhost::HostMemory::Instance();
  memory.RefuseAllocation(2);  // the object, then the buffer
  StreamPtr halved(TFileTextStream::New(path, kRead, kWindow, nullptr));
  memory.RefuseAllocation(0);
  ASSERT_TRUE(halved);
  EXPECT_TRUE(halved->Good());
  EXPECT_EQ(halved->Capacity(), kWindow / 2);

  StreamPtr unopened(TFileTextStream::New());
  memory.RefuseAll(true);
  const QVResult result = unopened->OpenByPath(path, kRead, kWindow, nullptr);
  memory.RefuseAll(false);
  EXPECT_EQ(result, kQVErrOutOfMemory);
  EXPECT_TRUE(unopened->Failed());

  memory.RefuseAllocation(1);
  EXPECT_EQ(TFileTextStream::New(path, kRead, 16, nullptr), nullptr);
  memory.RefuseAllocation(0);
}

// ---- Reading, end of file, unget and seek ----------------------------------------------

TEST_F(TextStreamTest, ReadPastTheEndSetsEndOfFileThenFails) {
  for (int32_t capacity : kCapacities) {
    SCOPED_TRACE(capacity);
    StreamPtr stream = Over("abc", capacity);
    char bytes[10] = {};
    stream->Read(bytes, 10);
    EXPECT_EQ(stream->LastReadCount(), 3);
    EXPECT_EQ(std::string(bytes, 3), "abc");
    EXPECT_TRUE(stream->AtEnd());
    EXPECT_FALSE(stream->Failed());
    stream->Read(bytes, 1);
    EXPECT_EQ(stream->LastReadCount(), 0);
    EXPECT_TRUE(stream->AtEnd());
    EXPECT_TRUE(stream->Failed()) << "a further read past the end (17003)";

    // A read that ends exactly at the end is good; the next one reaches the end.
    StreamPtr exact = Over("xy", capacity);
    exact->Read(bytes, 2);
    EXPECT_TRUE(exact->Good());
    char c = '?';
    exact->Get(c);
    EXPECT_EQ(c, '?');
    EXPECT_EQ(exact->State(), kQVStreamEndOfFile);
    exact->Get(c);
    EXPECT_EQ(exact->State(), kQVStreamEndOfFile | kQVStreamFailed);
    exact->Seek(0, 0);
    EXPECT_TRUE(exact->Good()) << "a seek clears the state";
    exact->Get(c);
    EXPECT_EQ(c, 'x');
  }
}

TEST_F(TextStreamTest, GetCharacterIsGetWithoutTheVirtualCall) {
  const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int32_t capacity : kCapacities) {
    SCOPED_TRACE(capacity);
    StreamPtr fast = Over(text, capacity);
    StreamPtr slow = Over(text, capacity);
    for (size_t i = 0; i < text.size() + 3; ++i) {
      if (i % 5 == 0) {  // a state left over is cleared by both
        fast->ClearState();
        slow->ClearState();
      }
      char a = 0, b = 0;
      TTextStream& base = *fast;
      base.GetCharacter(a);
      slow->Get(b);
      ASSERT_EQ(a, b) << i;
      ASSERT_EQ(fast->State(), slow->State()) << i;
      ASSERT_EQ(fast->LastReadCount(), slow->LastReadCount()) << i;
      ASSERT_EQ(fast->Tell(), slow->Tell()) << i;
      if (i == 10) {  // an unget in between
        base.Unget(a);
        slow->Unget(b);
      }
    }
  }
}

TEST_F(TextStreamTest, UngetAcrossAWindow) {
  StreamPtr stream = Over("abcdefghij", 4);
  char c = 0;
  // The window at 6 after a seek; the byte before it lies in the previous window.
  stream->Seek(6, 0);
  EXPECT_EQ(stream->Tell(), 6);
  stream->Unget('X');
  EXPECT_TRUE(stream->Good());
  EXPECT_EQ(stream->Tell(), 5);
  stream->Get(c);
  EXPECT_EQ(c, 'X');
  stream->Get(c);
  EXPECT_EQ(c, 'g');
  // A window start below the capacity moves the window to the file's start.
  stream->Seek(2, 0);
  stream->Unget('Y');
  EXPECT_EQ(stream->Tell(), 1);
  stream->Get(c);
  EXPECT_EQ(c, 'Y');
  stream->Get(c);
  EXPECT_EQ(c, 'c');
  // Reading on moves the window forward; unget steps back inside it.
  char bytes[5];
  stream->Seek(0, 0);
  stream->Read(bytes, 5);
  EXPECT_EQ(std::string(bytes, 5), "abcde");
  stream->Unget('e');
  stream->Unget('d');
  stream->Unget('c');
  EXPECT_EQ(stream->Tell(), 2);
  stream->Read(bytes, 3);
  EXPECT_EQ(std::string(bytes, 3), "cde");
  // Nothing before the file's start.
  stream->Seek(0, 0);
  stream->Get(c);
  stream->Unget(c);
  EXPECT_TRUE(stream->Good());
  stream->Unget(c);
  EXPECT_TRUE(stream->Failed()) << "17002";

  StreamPtr unbuffered = Over("pq", 0);
  unbuffered->Get(c);
  unbuffered->Unget(c);
  unbuffered->Get(c);
  EXPECT_EQ(c, 'p');
  unbuffered->Unget(c);
  EXPECT_TRUE(unbuffered->Good());
  unbuffered->Unget(c);
  EXPECT_TRUE(unbuffered->Failed()) << "nothing before the start";
}

TEST_F(TextStreamTest, SeekCases) {
  const std::string text = "0123456789ABCDEFGHIJ";  // 20 bytes
  struct Case {
    int32_t offset, origin;
    int32_t tell;  // -1: unchanged
    uint32_t state;
    char next;  // 0: at the end
  };
  const Case cases[] = {
      {5, 0, 5, 0, '5'},
      {0, 0, 0, 0, '0'},
      {19, 0, 19, 0, 'J'},
      {3, 1, 13, 0, 'D'},  // from 10
      {-4, 1, 6, 0, '6'},
      {1, 2, 19, 0, 'J'},  // backwards from the end
      {20, 2, 0, 0, '0'},
      {21, 0, 10, kQVStreamEndOfFile, 'A'},  // beyond the length: end of file, position kept
      {11, 1, 10, kQVStreamEndOfFile, 'A'},
      {-1, 2, 10, kQVStreamEndOfFile, 'A'},
      {-1, 0, -1, kQVStreamFailed, 0},  // before the start: 17002
      {-11, 1, -1, kQVStreamFailed, 0},
      {21, 2, -1, kQVStreamFailed, 0},
      {INT32_MAX, 1, 10, kQVStreamEndOfFile, 'A'},  // no overflow of the window arithmetic
      {INT32_MIN, 2, 10, kQVStreamEndOfFile, 'A'},
      {INT32_MIN, 1, -1, kQVStreamFailed, 0},
  };
  for (int32_t capacity : {1, 4, 7, kWindow}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "capacity " << capacity << ", seek " << c.offset << "/" << c.origin);
      StreamPtr stream = Over(text, capacity);
      stream->Seek(10, 0);
      ASSERT_EQ(stream->Tell(), 10);
      stream->Seek(c.offset, c.origin);
      EXPECT_EQ(stream->State(), c.state);
      if (c.tell >= 0) {
        EXPECT_EQ(stream->Tell(), c.tell);
      }
      if (c.next) {
        char next = 0;
        stream->Get(next);
        EXPECT_EQ(next, c.next);
      }
    }
  }
  // Landing exactly on the end.
  for (int32_t capacity : {0, 4, kWindow}) {
    SCOPED_TRACE(capacity);
    StreamPtr stream = Over(text, capacity);
    stream->Seek(20, 0);
    EXPECT_EQ(stream->Tell(), 20);
    if (capacity == 0) {
      EXPECT_TRUE(stream->AtEnd()) << "unbuffered: landing on the end";
    }
    char next = 0;
    stream->Get(next);
    EXPECT_TRUE(stream->AtEnd());
  }
  // Unbuffered seeks go to the host.
  StreamPtr unbuffered = Over(text, 0);
  unbuffered->Seek(3, 2);
  EXPECT_EQ(unbuffered->Tell(), 17);
  unbuffered->Seek(-2, 1);
  EXPECT_EQ(unbuffered->Tell(), 15);
  EXPECT_TRUE(unbuffered->Good());
  unbuffered->Seek(-100, 1);
  EXPECT_TRUE(unbuffered->AtEnd()) << "a refused host position sets the end-of-file bit";
}

TEST_F(TextStreamTest, WritingAfterASeekBackKeepsTheWindowsOtherBytes) {
  for (int32_t capacity : {4, kWindow}) {
    SCOPED_TRACE(capacity);
    // Write only: the window holds what was written.
    EXPECT_EQ(Written(
                  [](TTextStream& s) {
                    s.WriteText("abcdef");
                    s.Seek(2, 0);
                    s.WriteChar('X');
                  },
                  capacity),
              "abXdef");
    // Read and write on an existing file: the window is read before it is changed.
    const std::string path = MakeFile("rw-" + std::to_string(capacity), "0123456789");
    {
      StreamPtr stream = Open(path, kRead | kWrite, capacity);
      stream->Seek(6, 0);
      stream->Write("ab", 2);
      stream->Seek(1, 0);
      char c = 0;
      stream->Get(c);
      EXPECT_EQ(c, '1');
      stream->WriteChar('Z');
      EXPECT_EQ(stream->Length(), 10);
    }
    EXPECT_EQ(ReadFile(path), "01Z345ab89");
  }
}

// ---- The host file failing ----------------------------------------------------------------

// The host's byte stream of a real file, failing where the test says.
class FaultyFile final : public qvhost::HostObject<IHostFileSpec, IHostFileStream> {
 public:
  FaultyFile() : fSpec(qvhost::MakeHostFile()) { QVQuery(fSpec.Get(), fStream); }

  bool refusePositions = false;  // SetPosition answers a failure
  bool failReads = false;        // Read answers a failure and gives nothing
  int32_t readLimit = -1;        // each Read gives at most this many bytes, answering success

  QVResult SetFromPath(const TQVString& path, int32_t reserved) override { return fSpec->SetFromPath(path, reserved); }
  QVResult SetOpenMode(uint32_t mode) override { return fSpec->SetOpenMode(mode); }
  void SetDefaultName(const TQVString& name) override { fSpec->SetDefaultName(name); }
  void GetFolder(TQVString& folder) override { fSpec->GetFolder(folder); }
  void GetNameWithoutExtension(TQVString& name) override { fSpec->GetNameWithoutExtension(name); }
  void GetFullPath(TQVString& path) override { fSpec->GetFullPath(path); }
  void SetExtension(const TQVString& extension) override { fSpec->SetExtension(extension); }
  QVResult PrepareToSave() override { return fSpec->PrepareToSave(); }

  QVResult Open(IHostFileSpec* file) override { return fStream->Open(file); }
  uint32_t GetAccessFlags() override { return fStream->GetAccessFlags(); }
  bool FileExists() override { return fStream->FileExists(); }
  QVResult OpenExisting() override { return fStream->OpenExisting(); }
  QVResult Create() override { return fStream->Create(); }
  int32_t GetLength() override { return fStream->GetLength(); }
  QVResult SetLength(int32_t length) override { return fStream->SetLength(length); }
  QVResult Read(void* buffer, int32_t count, int32_t* countRead) override {
    if (failReads) {
      *countRead = 0;
      return kQVErrNotSupported;
    }
    const QVResult result = fStream->Read(buffer, readLimit >= 0 && count > readLimit ? readLimit : count, countRead);
    return result == kQVErrEndOfInput && readLimit >= 0 ? kQVOk : result;
  }
  QVResult Write(const void* buffer, int32_t count, int32_t* countWritten) override {
    ++writeCalls;
    return fStream->Write(buffer, count, countWritten);
  }
  QVResult SetPosition(int32_t offset, int32_t origin) override {
    return refusePositions ? kQVErrNotSupported : fStream->SetPosition(offset, origin);
  }
  int32_t GetPosition() override { return fStream->GetPosition(); }
  void Close() override { fStream->Close(); }
  void GetFileInformation(QVFileInformation& information) override { fStream->GetFileInformation(information); }
  void SetFileInformation(const QVFileInformation& information) override { fStream->SetFileInformation(information); }
  void GetPath(TQVString& path) override { fStream->GetPath(path); }

  int writeCalls = 0;

 private:
  TQVCountedPtr<IHostFileSpec> fSpec;
  TQVCountedPtr<IHostFileStream> fStream;
};

// A file service whose next file is a FaultyFile.
class FaultyFiles final : public qvhost::HostObject<HostFileServices> {
 public:
  QVResult NewFilePath(IHostFileSpec** file) override {
    QVClearOut(reinterpret_cast<void**>(file));
    made = new FaultyFile();
    *file = made;
    return kQVOk;
  }
  char GetPathSeparator() override { return '/'; }
  FaultyFile* made = nullptr;
};

class FaultyFileTest : public TextStreamTest {
 protected:
  // A stream of `capacity` on the file at `path`, over a FaultyFile (`File()`).
  StreamPtr Faulty(const std::string& path, uint32_t mode, int32_t capacity) {
    TQVCountedPtr<IHostFileSpec> file = qvhost::MakeHostFile();
    EXPECT_EQ(file->SetFromPath(TQVFixedString<1023>(path.c_str()), 0), kQVOk);
    EXPECT_EQ(file->SetOpenMode(mode), kQVOk);
    StreamPtr stream(TFileTextStream::New());
    auto files = qvhost::Adopt<FaultyFiles>(new FaultyFiles());
    IUnknown*& entry = QVServiceEntry(QVService::File);
    IUnknown* const saved = entry;
    entry = files.Get();  // for the stream's own byte stream only
    EXPECT_EQ(stream->Attach(file, capacity, nullptr), kQVOk);
    entry = saved;
    fFile = files->made;
    return stream;
  }
  FaultyFile& File() { return *fFile; }
  FaultyFile* fFile = nullptr;
};

// A window that cannot be put back where it was read is not written anywhere else.
TEST_F(FaultyFileTest, AFailedSeekBeforeAFlushFailsTheStreamAndWritesNothing) {
  const struct Case {
    const char* name;
    std::function<void(TFileTextStream&)> step;
  } cases[] = {
      {"a flush", [](TFileTextStream& s) { s.Flush(); }},
      {"a write past the window", [](TFileTextStream& s) { s.WriteText("cdefghij"); }},
      {"a seek that loads another window", [](TFileTextStream& s) { s.Seek(0, 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = MakeFile("flush.txt", "");
    {
      StreamPtr stream = Faulty(path, kWrite, 4);
      stream->WriteText("ab");
      File().refusePositions = true;
      c.step(*stream);
      EXPECT_TRUE(stream->Failed());
      EXPECT_EQ(File().writeCalls, 0);
    }
    EXPECT_EQ(ReadFile(path), "");
  }
}

// A read the host answers with a failure fails the stream; it is not the end of the file.
TEST_F(FaultyFileTest, AReadErrorFailsTheStreamWhateverItsWindow) {
  for (int32_t capacity : kCapacities) {
    SCOPED_TRACE(capacity);
    StreamPtr stream = Faulty(MakeFile("error.txt", "abcdef"), kRead, capacity);
    File().failReads = true;
    char bytes[3] = {};
    stream->Read(bytes, 3);
    EXPECT_EQ(stream->LastReadCount(), 0);
    EXPECT_TRUE(stream->Failed());
    EXPECT_FALSE(stream->AtEnd());
    char c = '?';
    stream->ClearState();
    stream->Get(c);
    EXPECT_TRUE(stream->Failed());
    EXPECT_FALSE(stream->AtEnd());
    EXPECT_EQ(c, '?');
  }
}

// An unget at the start of a window reloads the one before it, also when the file gives
// fewer bytes than its length said.
TEST_F(FaultyFileTest, UngetAtTheStartOfAWindowReloadsTheOneBefore) {
  for (int32_t readLimit : {-1, 2}) {
    SCOPED_TRACE(readLimit);
    StreamPtr stream = Faulty(MakeFile("unget.txt", "abcdefghij"), kRead, 4);
    char bytes[4];
    stream->Read(bytes, 4);  // "abcd", the whole first window
    char e = 0;
    stream->Get(e);  // the window moves to 4
    stream->Unget(e);
    ASSERT_EQ(stream->Tell(), 4);
    File().readLimit = readLimit;
    stream->Unget('X');
    EXPECT_TRUE(stream->Good());
    EXPECT_EQ(stream->Tell(), 3);
    EXPECT_EQ(Rest(*stream), "Xefghij");
  }
}

// An origin other than 0, 1 or 2 fails the seek and leaves the position.
TEST_F(TextStreamTest, ASeekFromAnUnknownOriginFails) {
  for (int32_t capacity : {0, 4}) {
    for (int32_t origin : {-1, 3, INT32_MAX}) {
      SCOPED_TRACE(testing::Message() << "capacity " << capacity << ", origin " << origin);
      StreamPtr stream = Over("0123456789", capacity);
      stream->Seek(4, 0);
      stream->Seek(1, origin);
      EXPECT_TRUE(stream->Failed());
      EXPECT_EQ(stream->Tell(), 4);
      stream->ClearState();
      char c = 0;
      stream->Get(c);
      EXPECT_EQ(c, '4');
    }
  }
}

TEST_F(TextStreamTest, SetTypeAndCreator) {
  const std::string path = PathOf("page.html");
  StreamPtr stream = Open(path, kWrite, kWindow);
  stream->SetTypeAndCreator(QVFourCC("QVhs"), QVFourCC("TEXT"));
  QVFileInformation information;
  std::memset(&information, 0xEE, sizeof information);
  stream->HostStream()->GetFileInformation(information);
  EXPECT_EQ(information.type, QVFourCC("TEXT"));
  EXPECT_EQ(information.creator, QVFourCC("QVhs"));
  EXPECT_EQ(information.reserved[0], 0) << "the record is cleared before the host fills it";
  char bytes[4];
  if (getxattr(path.c_str(), "user.qv.type", bytes, 4) == 4) {
    EXPECT_EQ(std::string(bytes, 4), "TEXT");
  }
}

TEST_F(TextStreamTest, CarriedObjectIsCounted) {
  TQVCountedPtr<IHostFileSpec> object = qvhost::MakeHostFile();
  StreamPtr stream = Over("", 4);
  EXPECT_EQ(stream->GetCarriedObject(), nullptr);
  stream->SetCarriedObject(object);
  EXPECT_EQ(stream->GetCarriedObject(), object.Get());
  EXPECT_EQ(static_cast<qvhost::HostFile*>(object.Get())->References(), 2);
  stream.reset();
  EXPECT_EQ(static_cast<qvhost::HostFile*>(object.Get())->References(), 1);
}

// ---- Number readers ---------------------------------------------------------------------

enum class Reader { Int, Long, Short, UnsignedLong, UnsignedInt, UnsignedShort, Double, Float, Char };

struct ReadCase {
  const char* input;
  Reader reader;
  double expected;  // 77 is the value before the read
  uint32_t state;
  const char* rest;
};

// Runs one reader on `stream` starting from 77 and answers the value it left.
double RunReader(TTextStream& stream, Reader reader) {
  switch (reader) {
    case Reader::Int: { int32_t v = 77; stream.ReadInt(v); return v; }
    case Reader::Long: { int32_t v = 77; stream.ReadLong(v); return v; }
    case Reader::Short: { int16_t v = 77; stream.ReadShort(v); return v; }
    case Reader::UnsignedLong: { uint32_t v = 77; stream.ReadUnsignedLong(v); return v; }
    case Reader::UnsignedInt: { uint32_t v = 77; stream.ReadUnsignedInt(v); return v; }
    case Reader::UnsignedShort: { uint16_t v = 77; stream.ReadUnsignedShort(v); return v; }
    case Reader::Double: { double v = 77; stream.ReadDouble(v); return v; }
    case Reader::Float: { float v = 77; stream.ReadFloat(v); return double(v); }
    case Reader::Char: { char v = 'M'; stream.ReadChar(v); return v; }
  }
  return 0;
}

constexpr uint32_t kEof = kQVStreamEndOfFile;
constexpr uint32_t kFail = kQVStreamFailed;

TEST_F(TextStreamTest, NumberReaders) {
  const ReadCase cases[] = {
      {"  12 x", Reader::Int, 12, 0, "x"},
      {"-", Reader::Int, 0, kEof | kFail, ""},
      {"x", Reader::Int, 0, kFail, "x"},
      {"-x", Reader::Int, 0, kFail, "x"},
      {"+7,", Reader::Int, 7, 0, ","},
      {"\t\r\n-42\n9", Reader::Long, -42, 0, "9"},
      {"12", Reader::Int, 12, kEof, ""},
      {"", Reader::Int, 0, kEof | kFail, ""},
      {"-2147483648", Reader::Int, -2147483648.0, kEof, ""},
      {"2147483648", Reader::Int, -2147483648.0, kEof, ""},   // wraps, defined
      {"99999999999 ", Reader::Int, 1215752191, 0, ""},     // 99999999999 mod 2^32
      {"123456789012345678901234567890 ", Reader::Int, 1312754386, 0, ""},  // mod 2^32
      {"4294967295 ", Reader::UnsignedLong, 4294967295.0, 0, ""},
      {"4294967296 ", Reader::UnsignedInt, 0, 0, ""},
      {"-1 ", Reader::UnsignedLong, 4294967295.0, 0, ""},
      {"+1 ", Reader::UnsignedLong, 77, kFail, "+1 "},  // no '+' form: the value stays
      {"q", Reader::UnsignedInt, 77, kFail, "q"},
      {"70000 ", Reader::Short, 4464, 0, ""},
      {"-32769 ", Reader::Short, 32767, 0, ""},
      {"65535 ", Reader::UnsignedShort, 65535, 0, ""},
      {"65536 ", Reader::UnsignedShort, 0, 0, ""},
      {"1.5e2 ", Reader::Double, 150.0, 0, ""},
      {"1e7 ", Reader::Double, 0.0, 0, ""},
      {"2e4 ", Reader::Double, 20000.0, 0, ""},
      {"2e5 ", Reader::Double, 0.0, 0, ""},
      {"3e-5 ", Reader::Double, 3e-5, 0, ""},
      {"3e-6 ", Reader::Double, 0.0, 0, ""},
      {"1E+2 ", Reader::Double, 100.0, 0, ""},
      {"3.25 ", Reader::Double, 3.25, 0, ""},
      {"-.5 ", Reader::Double, -0.5, 0, ""},
      {"+. ", Reader::Double, 0.0, 0, ""},
      {"12abc", Reader::Double, 12.0, 0, "abc"},
      {"1.5:/: x", Reader::Double, 1.5, 0, "x"},
      {"1.5", Reader::Double, 1.5, kEof, ""},
      {"1e", Reader::Double, 77, kEof | kFail, ""},
      {"1ex", Reader::Double, 77, kFail, "x"},
      {"x", Reader::Double, 77, kFail, "x"},
      {"1e99999999999 ", Reader::Double, 0.0, 0, ""},
      {"0.1 ", Reader::Float, double(0.1f), 0, ""},
      {"1", Reader::Float, 1.0, kEof, ""},
      {"  \t\n q", Reader::Char, 'q', 0, ""},
      {"   ", Reader::Char, 'M', kEof, ""},
  };
  for (int32_t capacity : kCapacities) {
    for (const ReadCase& c : cases) {
      SCOPED_TRACE(testing::Message() << "capacity " << capacity << ", \"" << c.input << "\" reader "
                                      << int(c.reader));
      StreamPtr stream = Over(c.input, capacity);
      EXPECT_EQ(RunReader(*stream, c.reader), c.expected);
      EXPECT_EQ(stream->State(), c.state);
      EXPECT_EQ(Rest(*stream), c.rest);
    }
  }
}

TEST_F(TextStreamTest, FloatReadsOutOfRangeBecomeInfinite) {
  std::string huge = "9";
  huge.append(60, '9');
  StreamPtr stream = Over(huge + " -" + huge + " " + std::string(400, '7') + " ", 7);
  float value = 0;
  stream->ReadFloat(value);
  EXPECT_EQ(value, std::numeric_limits<float>::infinity());
  stream->ReadFloat(value);
  EXPECT_EQ(value, -std::numeric_limits<float>::infinity());
  double wide = 0;
  stream->ReadDouble(wide);
  EXPECT_EQ(wide, std::numeric_limits<double>::infinity());
}

// ---- Words and strings --------------------------------------------------------------------

TEST_F(TextStreamTest, ReadWordAndReadString) {
  for (int32_t capacity : kCapacities) {
    SCOPED_TRACE(capacity);
    StreamPtr stream = Over("  alpha beta\t\"quoted \\\" text\" a\\ b", capacity);
    TQVDynamicString word;
    stream->ReadString(word);
    EXPECT_STREQ(word.CStr(), "alpha");
    stream->ReadString(word);
    EXPECT_STREQ(word.CStr(), "beta");
    stream->ReadString(word);
    EXPECT_STREQ(word.CStr(), "quoted \" text");
    stream->ReadString(word);
    EXPECT_STREQ(word.CStr(), "a b") << "a backslash takes the next character";
    EXPECT_TRUE(stream->AtEnd());
    stream->ReadString(word);
    EXPECT_STREQ(word.CStr(), "");

    // At most 256 characters are kept; the rest of the word is read.
    StreamPtr longWord = Over(std::string(300, 'w') + " next", capacity);
    longWord->ReadString(word);
    EXPECT_EQ(std::string(word.CStr()), std::string(256, 'w'));
    longWord->ReadString(word);
    EXPECT_STREQ(word.CStr(), "next");

    // ReadDelimited: the delimiter set ends the word and is put back; the buffer bounds it.
    StreamPtr delimited = Over(",,one,two;three", capacity);
    delimited->SetDelimiters(",;");
    char buffer[8];
    delimited->ReadWord(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "one");
    char c = 0;
    delimited->Get(c);
    EXPECT_EQ(c, ',') << "put back";
    delimited->ReadWord(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "two");
    delimited->ReadWord(buffer, 4);
    EXPECT_STREQ(buffer, "thr");
    delimited->ReadWord(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "ee");
    EXPECT_TRUE(delimited->AtEnd());
  }
}

TEST_F(TextStreamTest, WriteQuoted) {
  const char quote[] = {'a', '"', 'b', 0};
  EXPECT_EQ(Written([&](TTextStream& s) { s.WriteString(TQVFixedString<15>(quote)); }), "\"a\\\"b\"");
  EXPECT_EQ(Written([&](TTextStream& s) { s.WriteString(TQVFixedString<15>(quote)); }).size(), 6u);
  EXPECT_EQ(Written([](TTextStream& s) { s.WriteQuotedText("c:\\x"); }), "\"c:\\\\x\"");
  EXPECT_EQ(Written([](TTextStream& s) { s.WriteQuotedText(""); }), "\"\"");
  EXPECT_EQ(Written([](TTextStream& s) { s.WriteQuotedText(nullptr); }), "\"\"");
  // Long texts, escapes across the writer's pieces.
  const std::string many(1000, '"');
  EXPECT_EQ(Written([&](TTextStream& s) { s.WriteQuotedText(many.c_str()); }).size(), 2002u);
  // Lengths past what a 16-bit count holds are written whole, through both operations.
  for (size_t length : {size_t(32767), size_t(32768), size_t(40000), size_t(65536 + 3)}) {
    std::string text(length, 'z');
    text[length / 2] = '"';
    const std::string expected = "\"" + text.substr(0, length / 2) + "\\" + text.substr(length / 2) + "\"";
    EXPECT_EQ(Written([&](TTextStream& s) { s.WriteQuotedText(text.c_str()); }), expected) << length;
    const TQVDynamicString string(text.c_str(), int32_t(length));
    EXPECT_EQ(Written([&](TTextStream& s) { s.WriteString(string); }), expected) << length;
  }
  // And read back.
  const std::string path = PathOf("quoted.txt");
  {
    StreamPtr out = Open(path, kWrite, 5);
    out->WriteQuotedText("two \"words\" \\ here");
  }
  StreamPtr in = Open(path, kRead, 5);
  TQVDynamicString text;
  in->ReadString(text);
  EXPECT_STREQ(text.CStr(), "two \"words\" \\ here");
}

// ---- Number writers -----------------------------------------------------------------------

TEST_F(TextStreamTest, NumberWriters) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const float nanf = std::numeric_limits<float>::quiet_NaN();
  const float inff = std::numeric_limits<float>::infinity();
  struct Case {
    const char* expected;
    std::function<void(TTextStream&)> write;
  };
  const Case cases[] = {
      {"3.25", [](TTextStream& s) { s.WriteDouble(3.25); }},
      {"3", [](TTextStream& s) { s.WriteDouble(3.0); }},
      {"-0.5", [](TTextStream& s) { s.WriteDouble(-0.5); }},
      {"0", [](TTextStream& s) { s.WriteDouble(0.0); }},
      {"0", [](TTextStream& s) { s.WriteDouble(-0.0); }},
      {"3.05", [](TTextStream& s) { s.WriteDouble(3.05); }},
      {"0.00000001", [](TTextStream& s) { s.WriteDouble(1e-8); }},
      {"0", [](TTextStream& s) { s.WriteDouble(4e-9); }},
      {"2", [](TTextStream& s) { s.WriteDouble(1.999999999); }},  // the fraction rounds to a unit
      {"123456.789", [](TTextStream& s) { s.WriteDouble(123456.789); }},
      {"2147483646", [](TTextStream& s) { s.WriteDouble(2147483646.0); }},
      {"2147483647", [](TTextStream& s) { s.WriteDouble(2147483647.0); }},
      {"2147483647", [](TTextStream& s) { s.WriteDouble(1e300); }},
      {"-2147483647", [](TTextStream& s) { s.WriteDouble(-3e9); }},
      {"0", [nan](TTextStream& s) { s.WriteDouble(nan); }},
      {"0", [nan](TTextStream& s) { s.WriteDouble(-nan); }},
      {"2147483647", [inf](TTextStream& s) { s.WriteDouble(inf); }},
      {"-2147483647", [inf](TTextStream& s) { s.WriteDouble(-inf); }},
      {"3.14", [](TTextStream& s) { s.SetPrecision(2); s.WriteDouble(3.14159); }},
      {"3", [](TTextStream& s) { s.SetPrecision(0); s.WriteDouble(2.5); }},
      {"2", [](TTextStream& s) { s.SetPrecision(-3); s.WriteDouble(2.4); }},
      {"0.1", [](TTextStream& s) { s.SetPrecision(40); s.WriteDouble(0.1); }},  // capped at 15 digits
      {"0.000000000000001", [](TTextStream& s) { s.SetPrecision(15); s.WriteDouble(1e-15); }},
      {"0.1", [](TTextStream& s) { s.WriteFloat(0.1f); }},
      {"1", [](TTextStream& s) { s.WriteFloat(1.0000004f); }},
      {"-2.5", [](TTextStream& s) { s.WriteFloat(-2.5f); }},
      {"0", [nanf](TTextStream& s) { s.WriteFloat(nanf); }},
      {"2147483647", [inff](TTextStream& s) { s.WriteFloat(inff); }},
      {"-2147483647", [inff](TTextStream& s) { s.WriteFloat(-inff); }},
      {"2147483647", [](TTextStream& s) { s.WriteFloat(3e38f); }},
      {"0", [](TTextStream& s) { s.WriteUnsignedLong(0); }},
      {"4294967295", [](TTextStream& s) { s.WriteUnsignedLong(4294967295u); }},
      {"-2147483648", [](TTextStream& s) { s.WriteLong(INT32_MIN); }},
      {"2147483647", [](TTextStream& s) { s.WriteInt(INT32_MAX); }},
      {"-7", [](TTextStream& s) { s.WriteShort(-7); }},
      {"-32768", [](TTextStream& s) { s.WriteShort(INT16_MIN); }},
      {"65535", [](TTextStream& s) { s.WriteUnsignedShort(65535); }},
      {"42", [](TTextStream& s) { s.WriteUnsignedInt(42); }},
      {"x\xff", [](TTextStream& s) { s.WriteChar('x'); s.WriteUnsignedChar(0xFF); }},
      {"text", [](TTextStream& s) { s.WriteText("te"); s.WriteUnsignedText(reinterpret_cast<const unsigned char*>("xt")); s.WriteText(nullptr); }},
  };
  for (int32_t capacity : {0, 3, kWindow}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "capacity " << capacity << ", " << c.expected);
      EXPECT_EQ(Written(c.write, capacity), c.expected);
    }
  }
}

TEST_F(TextStreamTest, NumbersWrittenAreReadBack) {
  const std::string path = PathOf("numbers.txt");
  {
    StreamPtr out = Open(path, kWrite, 7);
    out->WriteInt(-12345);
    out->WriteChar(' ');
    out->WriteUnsignedLong(4000000000u);
    out->WriteChar('\n');
    out->WriteDouble(-2.125);
    out->WriteChar('\t');
    out->WriteFloat(0.75f);
    out->WriteChar(' ');
  }
  StreamPtr in = Open(path, kRead, 7);
  int32_t i = 0;
  uint32_t u = 0;
  double d = 0;
  float f = 0;
  in->ReadInt(i);
  in->ReadUnsignedLong(u);
  in->ReadDouble(d);
  in->ReadFloat(f);
  EXPECT_TRUE(in->Good());
  EXPECT_EQ(i, -12345);
  EXPECT_EQ(u, 4000000000u);
  EXPECT_EQ(d, -2.125);
  EXPECT_EQ(f, 0.75f);
}

// ---- Manipulators --------------------------------------------------------------------------

TTextStream& WriteNewline(TTextStream& stream) {
  stream.WriteChar('\n');
  return stream;
}

TEST_F(TextStreamTest, ManipulatorsAreCalledWithTheStream) {
  EXPECT_EQ(Written([](TTextStream& s) {
              EXPECT_EQ(&s.Apply(WriteNewline), &s);
              EXPECT_EQ(&s.ApplyOther(WriteNewline), &s);
            }),
            "\n\n");
}

// ---- File references -----------------------------------------------------------------------

// The reference forms on their own (they build the text in host memory).
class FileReferenceTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    InitModule();
  }
};

TEST_F(FileReferenceTest, MakeRelativeAndResolve) {
  struct Case {
    char separator;
    const char* own;
    const char* path;
    const char* form;
    const char* resolved;
  };
  const Case cases[] = {
      {'\\', "C:\\a\\b\\file.scn", "C:\\a\\c\\x.jpg", "::c:x.jpg", "C:\\a\\c\\x.jpg"},
      {'/', "/a/b/file.scn", "/a/c/x.jpg", "::c:x.jpg", "/a/c/x.jpg"},
      {'/', "C:/a/b/file.scn", "C:/a/c/x.jpg", "::c:x.jpg", "C:/a/c/x.jpg"},
      // Letter case is ignored; the own path's comes back.
      {'\\', "C:\\a\\b\\file.scn", "c:\\A\\B\\pic.jpg", ":pic.jpg", "C:\\a\\b\\pic.jpg"},
      {'\\', "C:\\a\\b\\file.scn", "C:\\a\\b\\sub\\pic.jpg", ":sub:pic.jpg", "C:\\a\\b\\sub\\pic.jpg"},
      {'\\', "C:\\a\\b\\file.scn", "C:\\x.jpg", ":::x.jpg", "C:\\x.jpg"},
      {'\\', "C:\\a\\b\\file.scn", "C:\\a\\b\\file.scn", ":file.scn", "C:\\a\\b\\file.scn"},
      // Nothing agrees up to a separator: stored unchanged.
      {'\\', "C:\\a\\b\\file.scn", "D:\\a\\x.jpg", "D:\\a\\x.jpg", "D:\\a\\x.jpg"},
      {'/', "/a/b/file.scn", "relative.jpg", "relative.jpg", "relative.jpg"},
      {'/', "", "/a/x.jpg", "/a/x.jpg", "/a/x.jpg"},
      // Agreement that ends inside a name; a ':' inside a name becomes a separator.
      {'/', "/a/bc/file.scn", "/a/b/x:y.jpg", "::b:x:y.jpg", "/a/b/x/y.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.own << " + " << c.path);
    TQVFixedString<255> form;
    QVMakeRelativeReference(c.own, c.path, c.separator, form);
    EXPECT_STREQ(form.CStr(), c.form);
    TQVFixedString<255> resolved;
    QVResolveReference(c.own, form.CStr(), c.separator, resolved);
    EXPECT_STREQ(resolved.CStr(), c.resolved);
  }
}

TEST_F(FileReferenceTest, ResolveEdgeCases) {
  struct Case {
    const char* own;
    const char* form;
    const char* path;
  };
  const Case cases[] = {
      {"/a/b/file.scn", ":x.jpg", "/a/b/x.jpg"},
      {"/a/b/file.scn", "::::::x.jpg", "x.jpg"},  // more levels than the own path has
      {"/a/b/file.scn", ":", "/a/b/"},
      {"/a/b/file.scn", ":c\\d/e:f", "/a/b/c/d/e/f"},
      {"", "::x", "x"},
      {"/a/b/file.scn", "plain", "plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    TQVFixedString<255> path;
    QVResolveReference(c.own, c.form, '/', path);
    EXPECT_STREQ(path.CStr(), c.path);
  }
}

// A file service whose separator is '\': the host's real files otherwise.
class BackslashFiles final : public qvhost::HostObject<HostFileServices> {
 public:
  QVResult NewFilePath(IHostFileSpec** file) override {
    QVClearOut(reinterpret_cast<void**>(file));
    *file = qvhost::MakeHostFile().Detach();
    return kQVOk;
  }
  char GetPathSeparator() override { return '\\'; }
};

TEST_F(TextStreamTest, FileReferencesThroughTheStream) {
  // With the reference host's '/'.
  std::filesystem::create_directories(PathOf("a/b"));
  const std::string own = PathOf("a/b/file.scn");
  {
    StreamPtr out = Open(own, kWrite, kWindow);
    out->WriteFileReference(TQVDynamicString(PathOf("a/c/x.jpg").c_str()));
    out->WriteChar(' ');
    out->WriteFileReference(TQVDynamicString("/elsewhere/y.jpg"));
  }
  // On '/' paths the root always agrees: a path elsewhere goes up to it.
  const size_t separators = size_t(std::count(own.begin(), own.end(), '/'));
  EXPECT_EQ(ReadFile(own), "\"::c:x.jpg\" \"" + std::string(separators, ':') + "elsewhere:y.jpg\"");
  StreamPtr in = Open(own, kRead, 4);
  TQVDynamicString path;
  in->ReadFileReference(path);
  EXPECT_EQ(path.CStr(), PathOf("a/c/x.jpg"));
  in->ReadFileReference(path);
  EXPECT_STREQ(path.CStr(), "/elsewhere/y.jpg");
}

TEST_F(TextStreamTest, FileReferencesWithABackslashSeparator) {
  BackslashFiles* files = new BackslashFiles();
  IUnknown*& entry = QVServiceEntry(QVService::File);
  IUnknown* saved = entry;
  entry = files;
  {
    // A file whose name holds the separators of the example: C:\a\b\file.scn.
    const std::string own = PathOf("C:\\a\\b\\file.scn");
    {
      StreamPtr out = Open(own, kWrite, kWindow);
      EXPECT_TRUE(out->Good());
      out->WriteFileReference(TQVDynamicString(PathOf("C:\\a\\c\\x.jpg").c_str()));
    }
    EXPECT_EQ(ReadFile(own), "\"::c:x.jpg\"");
    StreamPtr in = Open(own, kRead, kWindow);
    TQVDynamicString path;
    in->ReadFileReference(path);
    EXPECT_EQ(path.CStr(), PathOf("C:\\a\\c\\x.jpg"));
  }
  entry = saved;
  files->Release();
}

// ---- The reopen record ---------------------------------------------------------------------

TEST_F(TextStreamTest, ReopenRecordReopensAtTheSavedPosition) {
  const std::string path = MakeFile("reopen.txt", "0123456789");
  StreamPtr stream = Open(path, kRead, 4);
  char bytes[6];
  stream->Read(bytes, 6);
  TStreamReopenRecord* record = stream->MakeReopenRecord();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Path(), path);
  EXPECT_EQ(record->Flags(), kRead);
  EXPECT_EQ(record->Capacity(), 4);
  EXPECT_EQ(record->Position(), 6);
  stream.reset();
  StreamPtr again(record->Reopen());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Tell(), 6);
  char c = 0;
  again->Get(c);
  EXPECT_EQ(c, '6');
  QVDeleteStream(record);

  // Refused: the record, the own path, the record's copy of it.
  auto& memory = qvhost::HostMemory::Instance();
  for (int64_t refused : {1, 2, 3}) {
    memory.RefuseAllocation(refused);
    EXPECT_EQ(again->MakeReopenRecord(), nullptr) << refused;
    memory.RefuseAllocation(0);
  }
}

TEST_F(TextStreamTest, ReopenRecordAdjust) {
  std::filesystem::create_directories(PathOf("a/much/longer/folder"));
  const std::string shortPath = MakeFile("s.txt", "short");
  const std::string longPath = MakeFile("a/much/longer/folder/with-a-longer-name.txt", "long file");
  StreamPtr stream = Open(shortPath, kRead, 16);
  TStreamReopenRecord* record = stream->MakeReopenRecord();
  ASSERT_NE(record, nullptr);

  // Kind 1: the first path must agree with the stored one up to the shorter's end.
  EXPECT_EQ(record->Adjust("/somewhere/else", longPath.c_str(), 1), 0);
  EXPECT_EQ(record->Path(), shortPath);
  // A longer new path gets storage of its size (the stored one's would overflow).
  EXPECT_EQ(record->Adjust(fFolder.c_str(), longPath.c_str(), 1), 0);
  EXPECT_EQ(record->Path(), longPath);
  {
    StreamPtr reopened(record->Reopen());
    TQVDynamicString word;
    reopened->ReadString(word);
    EXPECT_STREQ(word.CStr(), "long");
  }
  // And a shorter one again.
  EXPECT_EQ(record->Adjust(longPath.c_str(), shortPath.c_str(), 1), 0);
  EXPECT_EQ(record->Path(), shortPath);

  // Kind 2 with a null first argument: new flags.
  const uint32_t flags = kRead | kWrite;
  EXPECT_EQ(record->Adjust(nullptr, &flags, 2), 0);
  EXPECT_EQ(record->Flags(), flags);
  EXPECT_EQ(record->Adjust("x", &flags, 2), 0);
  // Other kinds answer kind - 2, without overflow.
  EXPECT_EQ(record->Adjust(nullptr, nullptr, 7), 5);
  EXPECT_EQ(record->Adjust(nullptr, nullptr, 0), -2);
  EXPECT_EQ(record->Adjust(nullptr, nullptr, INT32_MIN), INT32_MAX - 1);
  QVDeleteStream(record);
}

// ---- Tokens through the stream (operations 41 and 42) --------------------------------------

TEST_F(TextStreamTest, TokenOperationsUseTheTokenReader) {
  StreamPtr stream = Over("  abc{def} \"quoted text\"", 3);
  TQVFixedString<255> token;
  const char* expected[] = {"abc", "{", "def", "}"};
  for (const char* text : expected) {
    stream->ReadToken(token);
    EXPECT_STREQ(token.CStr(), text);
  }
  TQVDynamicString quoted;
  stream->ReadQuotedText(quoted);
  EXPECT_STREQ(quoted.CStr(), "quoted text");
  EXPECT_RAISES(stream->ReadToken(token), kQVErrEndOfInput, "QVCore/Source/Common/QVToken", 516);
}

// ---- The host's file object -----------------------------------------------------------------

class HostFileTest : public LeakCheckedTest {
 protected:
  void SetUp() override {
    LeakCheckedTest::SetUp();
    std::string pattern = testing::TempDir() + "qv-hostfile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fFolder = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(fFolder, ignored);
    LeakCheckedTest::TearDown();
  }
  static std::string Text(const std::function<void(TQVString&)>& get) {
    TQVFixedString<1023> text;
    get(text);
    return text.CStr();
  }
  std::string fFolder;
};

TEST_F(HostFileTest, FolderNameAndExtension) {
  TQVCountedPtr<IHostFileSpec> file = qvhost::MakeHostFile();
  // No path yet: the default name stands in, and no folder is named.
  file->SetDefaultName(TQVFixedString<15>("Untitled"));
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFolder(s); }), "");
  EXPECT_EQ(Text([&](TQVString& s) { file->GetNameWithoutExtension(s); }), "Untitled");
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "Untitled");
  file->SetExtension(TQVFixedString<15>("html"));
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "Untitled.html");

  EXPECT_EQ(file->SetFromPath(TQVFixedString<63>("/home/user/pages/scene.page.html"), 0), kQVOk);
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFolder(s); }), "/home/user/pages/");
  EXPECT_EQ(Text([&](TQVString& s) { file->GetNameWithoutExtension(s); }), "scene.page");
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "/home/user/pages/scene.page.html");
  file->SetExtension(TQVFixedString<15>("jpg"));
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "/home/user/pages/scene.page.jpg");
  file->SetExtension(TQVFixedString<15>(".png"));
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "/home/user/pages/scene.page.png");
  file->SetFromPath(TQVFixedString<63>("/home/user/.hidden/.profile"), 0);
  EXPECT_EQ(Text([&](TQVString& s) { file->GetNameWithoutExtension(s); }), ".profile");
  file->SetExtension(TQVFixedString<15>("txt"));
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFullPath(s); }), "/home/user/.hidden/.profile.txt");
  file->SetFromPath(TQVFixedString<15>("plain"), 0);
  EXPECT_EQ(Text([&](TQVString& s) { file->GetFolder(s); }), "");
}

TEST_F(HostFileTest, PrepareToSaveMakesTheFolders) {
  TQVCountedPtr<IHostFileSpec> file = qvhost::MakeHostFile();
  const std::string path = fFolder + "/one/two/picture.jpg";
  file->SetFromPath(TQVFixedString<1023>(path.c_str()), 0);
  EXPECT_EQ(file->PrepareToSave(), kQVOk);
  EXPECT_TRUE(std::filesystem::is_directory(fFolder + "/one/two"));
  EXPECT_EQ(file->PrepareToSave(), kQVOk);
}

TEST_F(HostFileTest, ByteStream) {
  const std::string path = fFolder + "/bytes.bin";
  TQVCountedPtr<IHostFileSpec> spec = qvhost::MakeHostFile();
  spec->SetFromPath(TQVFixedString<1023>(path.c_str()), 0);
  spec->SetOpenMode(kRead | kWrite | kQVFileMustExist);
  TQVCountedPtr<IHostFileStream> stream;
  ASSERT_EQ(QVQuery(qvhost::MakeHostFile().Get(), stream), kQVOk);
  ASSERT_EQ(stream->Open(spec), kQVOk);
  EXPECT_EQ(stream->GetAccessFlags(), kRead | kWrite | kQVFileMustExist);
  EXPECT_EQ(Text([&](TQVString& s) { stream->GetPath(s); }), path);
  EXPECT_FALSE(stream->FileExists());
  EXPECT_EQ(stream->OpenExisting(), kQVErrFileNotFound);
  EXPECT_EQ(stream->Create(), kQVOk);
  EXPECT_TRUE(stream->FileExists());
  ASSERT_EQ(stream->OpenExisting(), kQVOk);
  int32_t count = -1;
  EXPECT_EQ(stream->Write("0123456789", 10, &count), kQVOk);
  EXPECT_EQ(count, 10);
  EXPECT_EQ(static_cast<qvhost::HostFile*>(stream.Get())->WriteCalls(), 1);
  EXPECT_EQ(stream->GetLength(), 10);
  EXPECT_EQ(stream->GetPosition(), 10);
  char bytes[16] = {};
  EXPECT_EQ(stream->SetPosition(2, 0), kQVOk);
  EXPECT_EQ(stream->Read(bytes, 3, &count), kQVOk);
  EXPECT_EQ(std::string(bytes, 3), "234");
  EXPECT_EQ(stream->SetPosition(1, 1), kQVOk);
  EXPECT_EQ(stream->GetPosition(), 6);
  EXPECT_EQ(stream->SetPosition(3, 2), kQVOk);  // backwards from the end
  EXPECT_EQ(stream->GetPosition(), 7);
  EXPECT_EQ(stream->Read(bytes, 16, &count), kQVErrEndOfInput);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::string(bytes, 3), "789");
  EXPECT_EQ(stream->Read(bytes, 1, &count), kQVErrEndOfInput);
  EXPECT_EQ(count, 0);
  EXPECT_NE(stream->SetPosition(-1, 0), kQVOk);
  EXPECT_NE(stream->SetPosition(11, 2), kQVOk);
  EXPECT_NE(stream->SetPosition(0, 3), kQVOk);
  EXPECT_EQ(stream->SetLength(4), kQVOk);
  EXPECT_EQ(stream->GetLength(), 4);

  QVFileInformation information{};
  information.reserved[3] = 9;
  information.type = QVFourCC("TEXT");
  information.creator = QVFourCC("QVhs");
  stream->SetFileInformation(information);
  QVFileInformation back;
  std::memset(&back, 0, sizeof back);
  stream->GetFileInformation(back);
  EXPECT_EQ(back.type, QVFourCC("TEXT"));
  EXPECT_EQ(back.creator, QVFourCC("QVhs"));
  EXPECT_EQ(back.reserved[3], 9);
  stream->Close();
  EXPECT_EQ(stream->Read(bytes, 1, &count), kQVErrObjectMissing);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ReadFile(path), "0123");
}

TEST_F(HostFileTest, ReadOnlyAndWriteOnlyOpens) {
  const std::string path = fFolder + "/r.txt";
  std::ofstream(path) << "abc";
  for (uint32_t mode : {kRead, kWrite}) {
    TQVCountedPtr<IHostFileSpec> spec = qvhost::MakeHostFile();
    spec->SetFromPath(TQVFixedString<1023>(path.c_str()), 0);
    spec->SetOpenMode(mode);
    TQVCountedPtr<IHostFileStream> stream;
    ASSERT_EQ(QVQuery(qvhost::MakeHostFile().Get(), stream), kQVOk);
    ASSERT_EQ(stream->Open(spec), kQVOk);
    ASSERT_EQ(stream->OpenExisting(), kQVOk);
    char c = 0;
    int32_t count = -1;
    int32_t written = -1;
    if (mode == kRead) {
      EXPECT_EQ(stream->Read(&c, 1, &count), kQVOk);
      EXPECT_NE(stream->Write("x", 1, &written), kQVOk);
      EXPECT_EQ(written, 0);
    } else {
      EXPECT_NE(stream->Read(&c, 1, &count), kQVOk);
      EXPECT_EQ(count, 0);
      EXPECT_EQ(stream->Write("x", 1, &written), kQVOk);
    }
  }
  EXPECT_EQ(ReadFile(path), "xbc");
}

}  // namespace
