// The one thread pool: how many jobs of a group run at once, which failure
// a group reports, and what cancelling leaves undone.

#include "pgraphic/core/threadpool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

TEST(ThreadPool, AGroupRunsEveryJobAndNeverMoreAtOnceThanAsked) {
  for (const int parallel : {1, 2, 5}) {
    TPGTaskGroup group(parallel);
    std::atomic<int> running{0}, most{0}, done{0};
    for (int i = 0; i < 40; ++i)
      group.Run([&] {
        const int now = ++running;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {}
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        --running;
        ++done;
      });
    group.Wait();
    EXPECT_EQ(done, 40) << parallel;
    EXPECT_LE(most, parallel) << parallel;
  }
}

// Jobs that wait for one another each have a thread: a group of as many
// jobs as it may run at once finishes although every job waits for all.
TEST(ThreadPool, JobsThatWaitForEachOtherAllRun) {
  constexpr int kJobs = 6;
  TPGTaskGroup group(kJobs);
  std::atomic<int> arrived{0};
  for (int i = 0; i < kJobs; ++i)
    group.Run([&] {
      ++arrived;
      while (arrived < kJobs) std::this_thread::yield();
    });
  group.Wait();
  EXPECT_EQ(arrived, kJobs);
}

TEST(ThreadPool, TheFirstFailureIsRaisedAndTheJobsNotStartedAreDropped) {
  TPGTaskGroup group(1);
  std::atomic<int> after{0};
  group.Run([] { throw std::runtime_error("first"); });
  group.Run([] { throw std::runtime_error("second"); });
  for (int i = 0; i < 10; ++i) group.Run([&] { ++after; });
  try {
    group.Wait();
    FAIL() << "no failure raised";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "first");
  }
  EXPECT_EQ(after, 0);
  EXPECT_TRUE(group.Cancelled());
  EXPECT_FALSE(group.Run([&] { ++after; }));
}

TEST(ThreadPool, CancelStopsWhatWaitsAndTellsWhatRuns) {
  std::atomic<bool> started{false}, sawCancel{false};
  std::atomic<int> later{0};
  {
    TPGTaskGroup group(1);
    group.Run([&] {
      started = true;
      while (!group.Cancelled()) std::this_thread::yield();
      sawCancel = true;
    });
    for (int i = 0; i < 5; ++i) group.Run([&] { ++later; });
    while (!started) std::this_thread::yield();
    // The destructor cancels and waits for the running job.
  }
  EXPECT_TRUE(sawCancel);
  EXPECT_EQ(later, 0);
}

// Whether a job handed over with RunOnThread ran while the caller waited
// for it, before Wait (which would run a job no thread took). A job left
// for Wait keeps the caller waiting: the alarm ends the process then.
bool RanBesideTheCaller() {
  ::alarm(20);
  TPGTaskGroup group(1);
  std::atomic<bool> asked{false}, answered{false};
  const bool started = group.RunOnThread([&] {
    while (!asked) std::this_thread::yield();
    answered = true;
  });
  asked = true;
  while (started && !answered) std::this_thread::yield();
  group.Wait();
  ::alarm(0);
  group.Cancel();
  return started && answered && !group.RunOnThread([] {});
}

// A child made by fork inherits a pool whose threads stayed behind: it
// runs its jobs on threads of its own.
TEST(ThreadPool, AJobOnAThreadRunsBesideTheCallerAlsoInAForkedChild) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer ends a child that starts threads after a fork";
#endif
  EXPECT_TRUE(RanBesideTheCaller());
  const pid_t child = ::fork();
  if (child == 0) ::_exit(RanBesideTheCaller() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ThreadPool, AGroupCanBeWaitedForAgainWithNewJobs) {
  TPGTaskGroup group(2);
  std::atomic<int> done{0};
  for (int round = 1; round <= 3; ++round) {
    for (int i = 0; i < 4; ++i) group.Run([&] { ++done; });
    group.Wait();
    EXPECT_EQ(done, 4 * round);
  }
  EXPECT_EQ(group.Running(), 0);
}

// Pool threads run on stacks the pool maps itself: as deep as a thread the
// C library makes, with a guard below.
int Deep(int depth) {
  volatile char frame[64 << 10];
  frame[0] = char(depth);
  frame[sizeof frame - 1] = char(depth);
  return depth == 0 ? frame[0] : Deep(depth - 1) + frame[sizeof frame - 1];
}

TEST(ThreadPool, JobsHaveTheStackOfAnyThread) {
  TPGTaskGroup group(2);
  std::atomic<int> sum{0};
  for (int i = 0; i < 2; ++i) group.Run([&] { sum += Deep(24); });  // 1.5 MB deep
  group.Wait();
  EXPECT_EQ(sum, 2 * (24 * 25 / 2));
}

}  // namespace
