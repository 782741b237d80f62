// A thread that kill() gave up on may still run while its process exits. It goes on using
// what the library keeps for the whole process (the log and its sinks, the trace, the event
// lock, the thread registry) after every static object of the program has gone.
//
// The case runs in a child process of its own, forked while this program has one thread.
// A static object of this program, made before the library's process-wide objects and so
// destroyed after them, hands the straggler one last round of work at that point and waits
// for it; the child reports through a pipe and its exit status.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "orvo/debug/kxinfolog.h"
#include "orvo/threads/kxsingleevent.h"
#include "orvo/threads/kxthread.h"
#include "support/kxfunctionthread.h"

namespace {

#ifndef _WIN32
using namespace std::chrono_literals;

// 0: nothing asked; 1: the process is past its static objects and asks for the last round;
// 2: the round is done.
std::atomic<int> gPhase{0};
bool gInChild = false;
int gReport = -1;  // the pipe's writing end, in the child

bool reportingSink(kxInfoLogLevel, const char* inText) {
  const std::string line = std::string(inText) + "\n";
  [[maybe_unused]] const ssize_t written = ::write(gReport, line.data(), line.size());
  return true;
}

bool eventually(int inPhase) {
  for (int i = 0; i < 10000 && gPhase.load() != inPhase; ++i) std::this_thread::sleep_for(1ms);
  return gPhase.load() == inPhase;
}

struct LastRound {
  ~LastRound() {
    if (!gInChild) return;
    gPhase = 1;
    if (!eventually(2)) std::_Exit(3);
  }
};
__attribute__((init_priority(101))) LastRound gLastRound;

void straggle() {
  kxInfoLogAddSink(&reportingSink, kxInfoLogInfo);
  orvo::test::FunctionThread straggler(nullptr, [](orvo::test::FunctionThread&) {
    orvo::test::FunctionThread::releaseObject();
    if (!eventually(1)) return;
    kxSingleEvent event;
    event.set();
    event.reset();
    const std::string line = "last round: " + std::to_string(kxThread::getNumThreads()) + " registered, main thread " +
                             std::to_string(kxThread::getMainThread()->getState());
    kxInfoLogWrite(kxInfoLogInfo, line.c_str());
    gPhase = 2;
  });
  straggler.start();
  straggler.kill();  // gives up on it: it has let go of its object
  std::exit(0);
}

TEST(ProcessExit, AThreadGivenUpOnStillUsesTheLibraryWhileTheProcessExits) {
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(report[0]);
    gReport = report[1];
    gInChild = true;
    straggle();
  }
  ::close(report[1]);
  std::string received;
  char buffer[256];
  ssize_t got;
  while ((got = ::read(report[0], buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<size_t>(got));
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_NE(received.find("last round: "), std::string::npos) << received;
  EXPECT_NE(received.find("main thread 1"), std::string::npos) << received;  // still running
}
#else
TEST(ProcessExit, AThreadGivenUpOnStillUsesTheLibraryWhileTheProcessExits) {
  GTEST_SKIP() << "the case forks a child process";
}
#endif

}  // namespace
