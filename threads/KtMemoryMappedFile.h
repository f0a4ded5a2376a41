#pragma once

#include <functional>
#include <string>

#include "base/Component.h"
#include "base/Exception.h"
#include "platform/SharedMemory.h"

class EKtMemoryMappedFile : public Exception {
public:
  using Exception::Exception;
};

using TKtMemoryMappedFileEvent = std::function<void(TObject* Sender, void* Data)>;

// A named block of shared memory that several processes map at once.
class TKtCustomMemoryMappedFile : public TComponent {
public:
  explicit TKtCustomMemoryMappedFile(TComponent* AOwner);
  ~TKtCustomMemoryMappedFile() override;

  // Opens the block unless it is open; answers whether it is open.
  bool Open();
  // The mapped block, opening it first; nullptr when it cannot be opened.
  void* View();
  void Close();
  bool IsOpen() const { return FMemory.IsOpen(); }
  // The system name: GlobalPrefix and GlobalName joined by a dot, or GlobalName alone.
  std::string SystemName() const;

  int Size() const { return FSize; }
  void SetSize(int Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  const std::string& GlobalPrefix() const { return FGlobalPrefix; }
  void SetGlobalPrefix(const std::string& Value) { FGlobalPrefix = Value; }
  const std::string& GlobalName() const { return FGlobalName; }
  virtual void SetGlobalName(const std::string& Value);

  TKtMemoryMappedFileEvent OnAfterOpen;
  TKtMemoryMappedFileEvent OnBeforeClose;

private:
  void CheckClosed(const char* Property) const;

  int FSize = 0;
  bool FReadOnly = false;
  std::string FGlobalPrefix;
  std::string FGlobalName;
  TSharedMemory FMemory;
};

class TKtMemoryMappedFile : public TKtCustomMemoryMappedFile {
public:
  using TKtCustomMemoryMappedFile::TKtCustomMemoryMappedFile;
};
