#include "threads/KtMemoryMappedFile.h"

#include "base/Format.h"

TKtCustomMemoryMappedFile::TKtCustomMemoryMappedFile(TComponent* AOwner) : TComponent(AOwner) {}

TKtCustomMemoryMappedFile::~TKtCustomMemoryMappedFile() {
  if (IsOpen()) Close();
}

std::string TKtCustomMemoryMappedFile::SystemName() const {
  if (!FGlobalPrefix.empty() && !FGlobalName.empty()) return FGlobalPrefix + "." + FGlobalName;
  return FGlobalName;
}

bool TKtCustomMemoryMappedFile::Open() {
  if (IsOpen()) return true;
  if (FSize < 1 || SystemName().empty()) throw EKtMemoryMappedFile("Could not create memory mapped file");
  switch (FMemory.Open(SystemName(), static_cast<size_t>(FSize), FReadOnly)) {
    case TSharedMemory::TResult::CreateFailed:
      throw EKtMemoryMappedFile("Could not create memory mapped file");
    case TSharedMemory::TResult::MapFailed:
      throw EKtMemoryMappedFile("Could not open mapview");
    case TSharedMemory::TResult::Opened:
      break;
  }
  if (OnAfterOpen) OnAfterOpen(this, FMemory.View());
  return true;
}

void* TKtCustomMemoryMappedFile::View() { return Open() ? FMemory.View() : nullptr; }

void TKtCustomMemoryMappedFile::Close() {
  if (!IsOpen()) throw EKtMemoryMappedFile("Memory mapped file not open");
  if (OnBeforeClose) OnBeforeClose(this, FMemory.View());
  FMemory.Close();
}

void TKtCustomMemoryMappedFile::CheckClosed(const char* Property) const {
  if (IsOpen()) throw EKtMemoryMappedFile(Format("Can not set %s property on open memory map file", Property));
}

void TKtCustomMemoryMappedFile::SetSize(int Value) {
  CheckClosed("Size");
  FSize = Value;
}

void TKtCustomMemoryMappedFile::SetReadOnly(bool Value) {
  CheckClosed("ReadOnly");
  FReadOnly = Value;
}

void TKtCustomMemoryMappedFile::SetGlobalName(const std::string& Value) { FGlobalName = Value; }
