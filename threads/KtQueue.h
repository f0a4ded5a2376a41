#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "base/Exception.h"
#include "base/Object.h"

class EQueue : public Exception {
public:
  using Exception::Exception;
};

class EQueueEmpty : public EQueue {
public:
  EQueueEmpty() : EQueue("Queue is empty") {}
};

class EQueueBadDataSize : public EQueue {
public:
  explicit EQueueBadDataSize(int ItemSize);
};

// How the queue treats a managed item record: built, assigned, moved and destroyed through
// these, so that the references inside stay counted.
struct TKtQueueItemType {
  void (*Construct)(void* Slot);
  void (*Destroy)(void* Slot);
  void (*CopyAssign)(void* Slot, const void* Item);
  void (*MoveOut)(void* Item, void* Slot);  // moves the slot's value into Item
  void (*Relocate)(void* To, void* From);   // constructs To from From, destroys From
};

template <class T>
const TKtQueueItemType* KtQueueItemTypeOf() {
  static const TKtQueueItemType type{
      [](void* Slot) { new (Slot) T(); },
      [](void* Slot) { static_cast<T*>(Slot)->~T(); },
      [](void* Slot, const void* Item) { *static_cast<T*>(Slot) = *static_cast<const T*>(Item); },
      [](void* Item, void* Slot) { *static_cast<T*>(Item) = std::move(*static_cast<T*>(Slot)); },
      [](void* To, void* From) {
        new (To) T(std::move(*static_cast<T*>(From)));
        static_cast<T*>(From)->~T();
      },
  };
  return &type;
}

// A growable ring buffer of fixed-size records. It has no lock of its own. The buffer has
// one slot more than it can hold, so head = tail means empty.
class TKtCustomQueue : public TObject {
public:
  // ItemType nullptr: plain bytes, copied as they are.
  TKtCustomQueue(int ItemSize, int Step, const TKtQueueItemType* ItemType);
  ~TKtCustomQueue() override;

  // A new slot at the tail (initialised when managed), growing by one step when full.
  void* Push();
  void Enqueue(const void* Item);
  // Moves the oldest item into Item; raises EQueueEmpty when empty.
  void Pop(void* Item);
  void* Peek();

  int Count() const;
  int FreeSlots() const { return Capacity() - Count(); }
  int Capacity() const { return static_cast<int>(FLength / FItemSize) - 1; }
  bool IsEmpty() const { return FHead == FTail; }
  bool IsFull() const;
  int Step() const { return FStep; }
  int ItemSize() const { return static_cast<int>(FItemSize); }

  // Makes FreeSlots max(Step, N) by growing or shrinking.
  void SetFree(int N);

private:
  void Grow(size_t Items);
  void Shrink(size_t Items);
  // A buffer of NewLength bytes holding the items; Placement maps an item's old offset to
  // its new one.
  template <class Placement>
  void Rebuild(size_t NewLength, Placement&& NewOffset);
  size_t Next(size_t Offset) const { return Offset + FItemSize >= FLength ? 0 : Offset + FItemSize; }
  std::byte* Slot(size_t Offset) { return FBuffer.get() + Offset; }

  std::unique_ptr<std::byte[]> FBuffer;
  size_t FLength = 0;
  size_t FItemSize;
  int FStep;
  size_t FHead = 0;
  size_t FTail = 0;
  const TKtQueueItemType* FItemType;
};

// A queue of T records, managed when T is not trivially copyable.
template <class T>
class TKtQueue : public TKtCustomQueue {
public:
  explicit TKtQueue(int Step = 10)
      : TKtCustomQueue(sizeof(T), Step,
                       std::is_trivially_copyable_v<T> ? nullptr : KtQueueItemTypeOf<T>()) {}
  void Enqueue(const T& Item) { TKtCustomQueue::Enqueue(&Item); }
  T Pop() {
    T item{};
    TKtCustomQueue::Pop(&item);
    return item;
  }
  T& Peek() { return *static_cast<T*>(TKtCustomQueue::Peek()); }
};
