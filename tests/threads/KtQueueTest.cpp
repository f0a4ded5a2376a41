#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <string>

#include "threads/KtQueue.h"

namespace {
TEST(KtQueueTest, BadItemSizeAndMinimumStep) {
  try {
    TKtCustomQueue queue(0, 10, nullptr);
    FAIL() << "an item size of 0 must be refused";
  } catch (const EQueueBadDataSize& e) {
    EXPECT_EQ(e.Message(), "Datasize = 0");
  }
  EXPECT_THROW(TKtCustomQueue(-4, 10, nullptr), EQueueBadDataSize);
  TKtCustomQueue small(4, 3, nullptr);
  EXPECT_EQ(small.Step(), 10);
  EXPECT_EQ(small.Capacity(), 10);
  EXPECT_EQ(small.FreeSlots(), 10);
  EXPECT_TRUE(small.IsEmpty());
}

TEST(KtQueueTest, EmptyQueueRaisesOnPopAndPeek) {
  TKtQueue<int> queue;
  EXPECT_THROW(queue.Pop(), EQueueEmpty);
  try {
    queue.Peek();
    FAIL();
  } catch (const EQueueEmpty& e) {
    EXPECT_EQ(e.Message(), "Queue is empty");
  }
}

TEST(KtQueueTest, GrowsByAStepAndKeepsOrderAcrossWrapAndGrowth) {
  TKtQueue<int> queue(10);
  int next = 0;
  int expected = 0;
  for (int i = 0; i < 10; ++i) queue.Enqueue(next++);
  EXPECT_TRUE(queue.IsFull());
  queue.Enqueue(next++);
  EXPECT_EQ(queue.Capacity(), 20) << "pushing the 11th item grows by one step";
  EXPECT_EQ(queue.Count(), 11);
  EXPECT_EQ(queue.Peek(), 0);

  // Move the contents round the end of the buffer, then grow while they wrap.
  for (int round = 0; round < 50; ++round) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(queue.Pop(), expected++);
    for (int i = 0; i < 3 + round % 2; ++i) queue.Enqueue(next++);
  }
  while (!queue.IsEmpty()) EXPECT_EQ(queue.Pop(), expected++);
  EXPECT_EQ(expected, next);
}

TEST(KtQueueTest, ShrinksBackWhenEmptied) {
  TKtQueue<int> queue(10);
  for (int i = 0; i < 45; ++i) queue.Enqueue(i);
  EXPECT_GE(queue.Capacity(), 45);
  for (int i = 0; i < 45; ++i) EXPECT_EQ(queue.Pop(), i);
  EXPECT_LT(queue.Capacity(), 45) << "popping must give capacity back";
  EXPECT_GE(queue.Capacity(), 10);
  EXPECT_EQ(queue.Count(), 0);
}

TEST(KtQueueTest, SetFreeGrowsAndShrinksToAtLeastOneStep) {
  TKtQueue<int> queue(10);
  for (int i = 0; i < 5; ++i) queue.Enqueue(i);
  queue.SetFree(30);
  EXPECT_EQ(queue.FreeSlots(), 30);
  queue.SetFree(0);
  EXPECT_EQ(queue.FreeSlots(), 10);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(queue.Pop(), i);
}

TEST(KtQueueTest, ManagedItemsKeepTheirReferencesCounted) {
  auto shared = std::make_shared<int>(1);
  {
    TKtQueue<std::shared_ptr<int>> queue(10);
    for (int i = 0; i < 25; ++i) queue.Enqueue(shared);
    EXPECT_EQ(shared.use_count(), 26);
    for (int i = 0; i < 20; ++i) {
      std::shared_ptr<int> item = queue.Pop();
      EXPECT_EQ(item, shared);
    }
    EXPECT_EQ(shared.use_count(), 6) << "popped items hand their reference over";
  }
  EXPECT_EQ(shared.use_count(), 1) << "items still queued are released with the queue";
}

TEST(KtQueueTest, StringItemsSurviveRelocation) {
  TKtQueue<std::string> queue(10);
  for (int i = 0; i < 40; ++i) queue.Enqueue(std::string(40, static_cast<char>('a' + i % 26)));
  for (int i = 0; i < 40; ++i) EXPECT_EQ(queue.Pop(), std::string(40, static_cast<char>('a' + i % 26)));
}
// Random pushes, pops and SetFree calls, in phases that fill and drain, checked against a
// plain queue: order, count and the room SetFree promises, across wraps, growth and shrinking.
template <class T, class Make>
void CheckAgainstPlainQueue(Make&& MakeItem) {
  std::mt19937 random(20240611);
  TKtQueue<T> queue(10);
  std::deque<T> expected;
  int made = 0;
  for (int step = 0; step < 20000; ++step) {
    const bool filling = step / 700 % 2 == 0;
    const unsigned action = random() % 20;
    if (action == 0) {
      const int room = static_cast<int>(random() % 45);
      queue.SetFree(room);
      ASSERT_EQ(queue.FreeSlots(), std::max(queue.Step(), room)) << "step " << step;
    } else if (action < (filling ? 13u : 7u)) {
      expected.push_back(MakeItem(made++));
      queue.Enqueue(expected.back());
    } else if (!expected.empty()) {
      ASSERT_EQ(queue.Pop(), expected.front()) << "step " << step;
      expected.pop_front();
    }
    ASSERT_EQ(queue.Count(), static_cast<int>(expected.size())) << "step " << step;
    ASSERT_EQ(queue.Capacity(), queue.Count() + queue.FreeSlots());
    ASSERT_EQ(queue.IsEmpty(), expected.empty());
    if (!expected.empty()) {
      ASSERT_EQ(queue.Peek(), expected.front());
    }
  }
}

TEST(KtQueueTest, RandomUseMatchesAPlainQueue) {
  CheckAgainstPlainQueue<int>([](int I) { return I; });
  CheckAgainstPlainQueue<std::string>([](int I) { return std::to_string(I) + std::string(20, 'x'); });
}
}  // namespace
