// Worker threads: a stop request ends a running functor promptly, the join
// returns, an owned functor is deleted and no thread is left behind; nothing a
// functor throws ends the process.
#include "TK/tk_exception.h"
#include "TK/tk_log.h"
#include "TK/tk_threa.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

std::size_t thread_count()
{
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
    ++n;
  return n;
}

// Waits up to two seconds for the condition; tests stay fast when it holds.
bool eventually(const std::function<bool()>& condition)
{
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::atomic<int> functors_alive{0};

// A functor with a body of choice, counted so that its deletion shows; the
// default body is the endless wait of the plain functor.
class test_functor : public tk_thread_functor {
public:
  explicit test_functor(std::function<void(test_functor&)> body = {}) : body_(std::move(body))
  {
    ++functors_alive;
  }
  ~test_functor() override { --functors_alive; }
  void operator()() override
  {
    started = true;
    if (body_)
      body_(*this);
    else
      tk_thread_functor::operator()();
  }
  std::atomic<bool> started{false};
  std::atomic<int> stop_hooks{0};

protected:
  void on_stop_requested() override { ++stop_hooks; }

private:
  std::function<void(test_functor&)> body_;
};

// Hands out a new owned test_functor, or a borrowed one, or none.
class test_thread : public tk_thread {
public:
  explicit test_thread(std::function<void(test_functor&)> body = {}) : tk_thread(true), body_(std::move(body)) {}
  explicit test_thread(test_functor* borrowed) : tk_thread(false), borrowed_(borrowed), give_borrowed_(true) {}
  ~test_thread() override = default;

  test_functor& running() const { return *static_cast<test_functor*>(functor()); }

protected:
  tk_thread_functor* get_functor() override
  {
    if (give_borrowed_)
      return borrowed_;
    return new test_functor(body_);
  }

private:
  std::function<void(test_functor&)> body_;
  test_functor* borrowed_ = nullptr;
  bool give_borrowed_ = false;
};

TEST(TkThread, DestroyingARunningThreadStopsJoinsAndDeletesItsFunctor)
{
  const std::size_t before = thread_count();
  auto thread = std::make_unique<test_thread>();
  thread->start();
  ASSERT_TRUE(eventually([&] { return thread->running().started.load(); }));
  EXPECT_TRUE(thread->is_running());
  EXPECT_EQ(thread_count(), before + 1);
  EXPECT_EQ(functors_alive, 1);

  const auto start = std::chrono::steady_clock::now();
  thread.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 90ms) << "the wait step wakes on the stop request";
  EXPECT_EQ(functors_alive, 0);
  EXPECT_EQ(thread_count(), before);
}

TEST(TkThread, AStopRequestCutsEveryLaterWaitStepShort)
{
  // Fifty full wait steps would take five seconds; after the request each returns at once.
  test_thread thread([](test_functor& self) {
    for (int i = 0; i < 50; ++i)
      self.wait_step();
  });
  thread.start();
  ASSERT_TRUE(eventually([&] { return thread.running().started.load(); }));
  const auto start = std::chrono::steady_clock::now();
  thread.running().request_stop();
  EXPECT_EQ(thread.running().stop_hooks, 1);
  ASSERT_TRUE(eventually([&] { return !thread.is_running(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(TkThread, AnEndedWorkerIsReleasedWithoutAStopRequest)
{
  test_functor borrowed([](test_functor&) {});
  {
    test_thread thread(&borrowed);
    thread.start();
    ASSERT_TRUE(eventually([&] { return !thread.is_running(); }));
    EXPECT_TRUE(borrowed.started);
  }
  EXPECT_FALSE(borrowed.stop_requested());
  EXPECT_EQ(borrowed.stop_hooks, 0);
  EXPECT_EQ(functors_alive, 1) << "a borrowed functor outlives the thread";
}

TEST(TkThread, WrongUseIsAnInternalError)
{
  const auto expect_assertion = [](const std::function<void()>& call, int line) {
    try {
      call();
      ADD_FAILURE() << "no assertion for line " << line;
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(e.get_message(), make_err_meggase("tk_threa", line));
    }
  };
  test_thread thread;
  thread.start();
  expect_assertion([&] { thread.start(); }, 92);
  expect_assertion([&] { thread.release(); }, 71);
  EXPECT_TRUE(thread.is_running()) << "a refused call leaves the worker alone";

  test_thread no_functor(static_cast<test_functor*>(nullptr));
  expect_assertion([&] { no_functor.start(); }, 105);
  EXPECT_FALSE(no_functor.is_running());
}

TEST(TkThread, AnEndedThreadStartsAgainWithAFreshFunctor)
{
  std::atomic<int> runs{0};
  test_thread thread([&](test_functor&) { ++runs; });
  thread.start();
  ASSERT_TRUE(eventually([&] { return !thread.is_running(); }));
  thread.start();
  ASSERT_TRUE(eventually([&] { return !thread.is_running(); }));
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(functors_alive, 1) << "the first run's functor was deleted at the second start";
  thread.release();
  EXPECT_EQ(functors_alive, 0);
  EXPECT_EQ(thread.functor(), nullptr);
}

TEST(TkThread, AnExceptionOutOfTheFunctorIsLoggedAndTheProcessGoesOn)
{
  temp_dir dir;
  tk_logger logger(dir.file("log.txt").c_str(), true, 1, false);
  const struct {
    std::function<void(test_functor&)> body;
    const char* logged;
  } cases[] = {
    {[](test_functor&) { throw std::runtime_error("boom"); }, "unhandled exception: boom"},
    {[](test_functor&) { throw tk_exception("level two", 2); }, "unhandled exception: level two"},
    {[](test_functor&) { throw 42; }, "unhandled exception\r\n"},
  };
  for (const auto& c : cases) {
    test_thread thread(c.body);
    thread.start();
    ASSERT_TRUE(eventually([&] { return !thread.is_running(); }));
    EXPECT_NE(read_file(dir.file("log.txt")).find(c.logged), std::string::npos) << c.logged;
  }
  EXPECT_EQ(tk_thread::thread_proc(nullptr), 1);
  EXPECT_NE(read_file(dir.file("log.txt")).find("Internal error"), std::string::npos)
      << "a null functor is reported, not followed";
}

} // namespace
