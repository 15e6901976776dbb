#include "ui/console/message_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;

// Waits (bounded) until a worker's call sits in the queue.
bool WaitUntilQueued(const MessageQueue& queue) {
  for (int i = 0; i < 2000 && queue.Empty(); ++i) std::this_thread::sleep_for(1ms);
  return !queue.Empty();
}

TEST(MessageQueue, PostToDestroyedWindowFailsAndDestroyDropsQueuedMessages) {
  MessageQueue queue;
  HWND a = queue.CreateWindowHandle();
  HWND b = queue.CreateWindowHandle();
  ASSERT_TRUE(queue.Post(a, 1, 0, 0));
  ASSERT_TRUE(queue.Post(b, 2, 0, 0));
  ASSERT_TRUE(queue.Post(a, 3, 0, 0));
  queue.DestroyWindowHandle(a);
  EXPECT_FALSE(queue.Post(a, 4, 0, 0));
  EXPECT_FALSE(queue.IsWindow(a));
  auto item = queue.Take();
  ASSERT_EQ(item.type, MessageQueue::Item::Type::Posted);
  EXPECT_EQ(item.posted.window, b);
  EXPECT_EQ(item.posted.msg, 2u);
  EXPECT_EQ(queue.Take().type, MessageQueue::Item::Type::None);
  EXPECT_FALSE(queue.Post(nullptr, 1, 0, 0));
}

TEST(MessageQueue, HandlesAreNeverReused) {
  MessageQueue queue;
  HWND first = queue.CreateWindowHandle();
  queue.DestroyWindowHandle(first);
  HWND second = queue.CreateWindowHandle();
  EXPECT_NE(first, second);
  EXPECT_FALSE(queue.Post(first, 1, 0, 0));
}

TEST(MessageQueue, SendIsCancelledWithoutRunningWhenTheWindowIsDestroyedFirst) {
  MessageQueue queue;
  HWND window = queue.CreateWindowHandle();
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = queue.Send(window, [&] { ran = true; }) ? 1 : 0; });
  ASSERT_TRUE(WaitUntilQueued(queue));
  queue.DestroyWindowHandle(window);
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_FALSE(ran.load());
  EXPECT_TRUE(queue.Empty());
}

TEST(MessageQueue, SendToAWindowThatIsGoneFailsAtOnce) {
  MessageQueue queue;
  HWND window = queue.CreateWindowHandle();
  queue.DestroyWindowHandle(window);
  bool result = true;
  std::thread worker([&] { result = queue.Send(window, [] {}); });
  worker.join();
  EXPECT_FALSE(result);
}

TEST(MessageQueue, SentCallsOvertakePostedMessagesAndReleaseTheirWorker) {
  MessageQueue queue;
  HWND window = queue.CreateWindowHandle();
  int value = 0;
  bool result = false;
  std::thread worker([&] { result = queue.Send(window, [&] { value = 42; }); });
  ASSERT_TRUE(WaitUntilQueued(queue));
  ASSERT_TRUE(queue.Post(window, 7, 0, 0));
  queue.PostTask([] {});
  auto item = queue.Take();
  ASSERT_EQ(item.type, MessageQueue::Item::Type::Sent);
  queue.RunSent(item.sent);
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(queue.Take().type, MessageQueue::Item::Type::Posted);
  EXPECT_EQ(queue.Take().type, MessageQueue::Item::Type::Task);
}

TEST(MessageQueue, SendFromTheUiThreadRunsInline) {
  MessageQueue queue;
  HWND window = queue.CreateWindowHandle();
  int value = 0;
  EXPECT_TRUE(queue.Send(window, [&] { value = 1; }));
  EXPECT_EQ(value, 1);
  queue.DestroyWindowHandle(window);
  EXPECT_FALSE(queue.Send(window, [&] { value = 2; }));
  EXPECT_EQ(value, 1);
}

TEST(MessageQueue, SentCallThatThrowsStillReleasesItsWorker) {
  MessageQueue queue;
  HWND window = queue.CreateWindowHandle();
  bool result = false;
  std::thread worker([&] { result = queue.Send(window, [] { throw std::runtime_error("x"); }); });
  ASSERT_TRUE(WaitUntilQueued(queue));
  auto item = queue.Take();
  ASSERT_EQ(item.type, MessageQueue::Item::Type::Sent);
  EXPECT_THROW(queue.RunSent(item.sent), std::runtime_error);
  worker.join();
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace hv::ui::console
