// Files: file specifications, the byte stream of a file, the file information record and
// the file type record the file dialogs offer.
#pragma once

#include "QVArray.h"
#include "QVString.h"
#include "HostServices.h"

// Open modes and access flags of a file stream.
enum : uint32_t {
  kQVFileReadable = 0x01,
  kQVFileWritable = 0x02,
  kQVFileMustExist = 0x40,
};

// A file by path, as the host names it.
struct IHostFileSpec : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x160);
  virtual QVResult SetFromPath(const TQVString& path, int32_t reserved) = 0;
  // The open mode a stream on this file uses (kQVFile* flags).
  virtual QVResult SetOpenMode(uint32_t mode) = 0;
  virtual void SetDefaultName(const TQVString& name) = 0;
  // The folder with its closing separator; empty when no file is named.
  virtual void GetFolder(TQVString& folder) = 0;
  virtual void GetNameWithoutExtension(TQVString& name) = 0;
  virtual void GetFullPath(TQVString& path) = 0;
  virtual void SetExtension(const TQVString& extension) = 0;
  // Made before a file is saved; the answer is not used.
  virtual QVResult PrepareToSave() = 0;
};

// The host's record of a file's type and creator; the rest is the host's.
struct QVFileInformation {
  uint8_t reserved[40];
  uint32_t type;
  uint32_t creator;
};
static_assert(sizeof(QVFileInformation) == 48, "file information layout");

// The bytes of one file. Origins of SetPosition: 0 from the start, 1 from the current
// position, 2 backwards from the end.
struct IHostFileStream : IUnknown {
  static constexpr QVGUID kID = QV_HOST_ID(0x161);
  virtual QVResult Open(IHostFileSpec* file) = 0;
  virtual uint32_t GetAccessFlags() = 0;
  virtual bool FileExists() = 0;
  // 0x8001002B when the file is not there.
  virtual QVResult OpenExisting() = 0;
  virtual QVResult Create() = 0;
  virtual int32_t GetLength() = 0;
  virtual QVResult SetLength(int32_t length) = 0;
  // 0x80010027 at the end of the file.
  virtual QVResult Read(void* buffer, int32_t count, int32_t* countRead) = 0;
  virtual QVResult Write(const void* buffer, int32_t count, int32_t* countWritten) = 0;
  virtual QVResult SetPosition(int32_t offset, int32_t origin) = 0;
  virtual int32_t GetPosition() = 0;
  virtual void Close() = 0;
  virtual void GetFileInformation(QVFileInformation& information) = 0;
  virtual void SetFileInformation(const QVFileInformation& information) = 0;
  virtual void GetPath(TQVString& path) = 0;
};

// One extension of a file type: a dynamic string kept in place in the record's array.
struct QVExtensionSlot {
  alignas(TQVDynamicString) unsigned char bytes[sizeof(TQVDynamicString)];
  TQVDynamicString& Text() { return *reinterpret_cast<TQVDynamicString*>(bytes); }
  const TQVDynamicString& Text() const { return *reinterpret_cast<const TQVDynamicString*>(bytes); }
};

// A file type the file dialogs offer: its code, description, format code, extensions and
// the type codes it stands for. The host copies what it keeps.
struct TFileTypeRecord {
  TFileTypeRecord();
  ~TFileTypeRecord();
  TFileTypeRecord(const TFileTypeRecord&) = delete;
  TFileTypeRecord& operator=(const TFileTypeRecord&) = delete;

  // Nothing is added when the extension (letter case aside) or the code is present.
  bool AddExtension(const char* extension);
  bool AddTypeCode(uint32_t code);

  uint32_t type = 0;
  TQVFixedString<31> description;
  uint32_t format = 0;
  TQVArray<QVExtensionSlot> extensions;
  TQVArray<uint32_t> typeCodes;
};
#if defined(__i386__)
static_assert(sizeof(TFileTypeRecord) == 88, "file type record layout");
#endif
