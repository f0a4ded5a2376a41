#include "threads/KtQueue.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"

EQueueBadDataSize::EQueueBadDataSize(int ItemSize) : EQueue(Format("Datasize = %d", ItemSize)) {}

namespace {
constexpr int MinimumStep = 10;
}  // namespace

TKtCustomQueue::TKtCustomQueue(int ItemSize, int Step, const TKtQueueItemType* ItemType)
    : FItemSize(ItemSize < 1 ? 0 : static_cast<size_t>(ItemSize)),
      FStep(std::max(MinimumStep, Step)),
      FItemType(ItemType) {
  if (ItemSize < 1) throw EQueueBadDataSize(ItemSize);
  FLength = static_cast<size_t>(FStep + 1) * FItemSize;
  FBuffer = std::make_unique<std::byte[]>(FLength);
}

TKtCustomQueue::~TKtCustomQueue() {
  if (!FItemType) return;
  for (size_t at = FHead; at != FTail; at = Next(at)) FItemType->Destroy(Slot(at));
}

int TKtCustomQueue::Count() const {
  const size_t bytes = FTail >= FHead ? FTail - FHead : FTail + FLength - FHead;
  return static_cast<int>(bytes / FItemSize);
}

bool TKtCustomQueue::IsFull() const { return Next(FTail) == FHead; }

void* TKtCustomQueue::Push() {
  if (IsFull()) SetFree(FreeSlots() + FStep);
  std::byte* slot = Slot(FTail);
  if (FItemType) FItemType->Construct(slot);
  FTail = Next(FTail);
  return slot;
}

void TKtCustomQueue::Enqueue(const void* Item) {
  void* slot = Push();
  if (FItemType) {
    FItemType->CopyAssign(slot, Item);
  } else {
    std::memcpy(slot, Item, FItemSize);
  }
}

void TKtCustomQueue::Pop(void* Item) {
  if (IsEmpty()) throw EQueueEmpty();
  std::byte* slot = Slot(FHead);
  if (FItemType) {
    FItemType->MoveOut(Item, slot);
    FItemType->Destroy(slot);
  } else {
    std::memcpy(Item, slot, FItemSize);
  }
  FHead = Next(FHead);
  const int free = FreeSlots();
  const int count = Count();
  if (free == count || (free == count + 1 && free >= FStep)) SetFree(free - FStep);
}

void* TKtCustomQueue::Peek() {
  if (IsEmpty()) throw EQueueEmpty();
  return Slot(FHead);
}

void TKtCustomQueue::SetFree(int N) {
  const int target = std::max(FStep, N);
  const int free = FreeSlots();
  if (free < target) {
    Grow(static_cast<size_t>(target - free));
  } else if (free > target) {
    Shrink(static_cast<size_t>(free - target));
  }
}

template <class Placement>
void TKtCustomQueue::Rebuild(size_t NewLength, Placement&& NewOffset) {
  auto buffer = std::make_unique<std::byte[]>(NewLength);
  for (size_t at = FHead; at != FTail; at = Next(at)) {
    std::byte* to = buffer.get() + NewOffset(at);
    if (FItemType) {
      FItemType->Relocate(to, Slot(at));
    } else {
      std::memcpy(to, Slot(at), FItemSize);
    }
  }
  FBuffer = std::move(buffer);
  FLength = NewLength;
}

void TKtCustomQueue::Grow(size_t Items) {
  const size_t bytes = Items * FItemSize;
  const bool wraps = FTail < FHead;
  const size_t head = FHead;
  // The part from the head to the old end moves up to the new end.
  Rebuild(FLength + bytes, [&](size_t At) { return wraps && At >= head ? At + bytes : At; });
  if (wraps) FHead += bytes;
}

void TKtCustomQueue::Shrink(size_t Items) {
  const size_t bytes = Items * FItemSize;
  const size_t down = std::min(bytes, FHead);
  const bool wraps = FTail < FHead;
  const size_t head = FHead;
  Rebuild(FLength - bytes, [&](size_t At) { return !wraps || At >= head ? At - down : At; });
  if (!wraps) FTail -= down;
  FHead -= down;
}
