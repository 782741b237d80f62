// Questions and prompts on the console, and the string stream.
//
// Every case runs in a child process whose standard input and output are either pipes or a
// pseudo-terminal, so the parent plays the person at the keyboard and sees exactly what the
// program wrote.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <string>
#include <thread>

#include "orvo/platform/kxconsoleinput.h"
#include "orvo/util/kxask.h"
#include "orvo/util/kxstrstream.h"
#include "support/kxtestsupport.h"

namespace {

struct ChildRun {
  std::string output;  // what the child wrote to standard output
  std::string result;  // what the body returned
  int status = -1;     // from waitpid
};

// Reads everything until end of file (or EIO from a terminal whose other side closed).
std::string drain(int inFd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(inFd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return text;
    }
  }
}

void writeAll(int inFd, const std::string& inText) {
  size_t done = 0;
  while (done < inText.size()) {
    const ssize_t put = write(inFd, inText.data() + done, inText.size() - done);
    if (put <= 0) return;
    done += static_cast<size_t>(put);
  }
}

// Starts inBody in a child with its result pipe; inSetup arranges standard input and output
// in the child. Returns the child's pid and the parent's end of the result pipe.
pid_t startChild(int& outResult, const std::function<void()>& inSetup, const std::function<std::string()>& inBody) {
  int result[2];
  if (pipe(result) != 0) return -1;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(result[0]);
    alarm(20);  // a case that waits for ever fails instead of hanging the run
    inSetup();
    const std::string answer = inBody();
    std::fflush(nullptr);
    writeAll(result[1], answer);
    _exit(0);
  }
  close(result[1]);
  outResult = result[0];
  return child;
}

ChildRun finish(pid_t inChild, int inResult, int inOutput) {
  ChildRun run;
  run.output = drain(inOutput);
  run.result = drain(inResult);
  waitpid(inChild, &run.status, 0);
  close(inResult);
  close(inOutput);
  return run;
}

// inBody with inInput on a pipe as standard input.
ChildRun withPipedInput(const std::string& inInput, const std::function<std::string()>& inBody) {
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return ChildRun{};
  int result = -1;
  const pid_t child = startChild(
      result,
      [&] {
        dup2(input[0], 0);
        dup2(output[1], 1);
        close(input[0]);
        close(input[1]);
        close(output[0]);
        close(output[1]);
      },
      inBody);
  close(input[0]);
  close(output[1]);
  writeAll(input[1], inInput);
  close(input[1]);
  return finish(child, result, output[0]);
}

struct TerminalChild {
  pid_t pid = -1;
  int master = -1;
  int result = -1;
};

// The settings of the pseudo-terminal as its other side sees them now.
termios terminalSettings(int inMaster) {
  termios settings{};
  tcgetattr(inMaster, &settings);
  return settings;
}

// Waits until echo on the terminal is as wanted; false when it never gets there.
bool waitForEcho(int inMaster, bool inOn) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    if (((terminalSettings(inMaster).c_lflag & ECHO) != 0) == inOn) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Starts inBody on a pseudo-terminal that is its controlling terminal, standard input and
// output, and waits for it to switch echo off.
TerminalChild startOnTerminal(const std::function<std::string()>& inBody) {
  TerminalChild child;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return child;
  const std::string slaveName = ptsname(master);
  child.pid = startChild(
      child.result,
      [&] {
        close(master);
        setsid();
        const int slave = open(slaveName.c_str(), O_RDWR);  // becomes the controlling terminal
        dup2(slave, 0);
        dup2(slave, 1);
        if (slave > 1) close(slave);
      },
      inBody);
  child.master = master;
  EXPECT_TRUE(waitForEcho(master, false)) << "echo was never switched off";
  return child;
}

// inBody on a terminal; inKeys are typed once it reads keys without echo.
ChildRun withTerminal(const std::string& inKeys, const std::function<std::string()>& inBody) {
  const TerminalChild child = startOnTerminal(inBody);
  if (child.pid < 0) return ChildRun{};
  writeAll(child.master, inKeys);
  return finish(child.pid, child.result, child.master);
}

std::string hiddenPrompt() {
  std::string answer;
  kxPrompt("Password: ", answer, true);
  return answer;
}

bool exitedCleanly(const ChildRun& inRun) { return WIFEXITED(inRun.status) && WEXITSTATUS(inRun.status) == 0; }

TEST(Ask, AsksUntilAnAcceptedLetter) {
  struct Case {
    int kind;
    std::string input;
    int answer;
    size_t asked;
  };
  const Case cases[] = {
      {2, "maybe\n\nn\n", kxAskNoOfTwo, 3},
      {3, "yes please\n", kxAskYes, 1},
      {2, "yes please\n", kxAskYesOfTwo, 1},
      {1, "No\nok\n", kxAskOk, 2},  // N is no choice of kind 1
      {1, "c\n", kxAskCancel, 1},
      {3, "NO\n", kxAskNo, 1},
      {3, "cancel\n", kxAskCancel, 1},
      {0, "whatever\n", kxAskOk, 1},
      {2, std::string(300, 'x') + "\nn\n", kxAskNoOfTwo, 2},  // the rest of a long line is no new answer
      {2, "y", kxAskYesOfTwo, 1},                             // a last line without its line end
      // Input that ends without an accepted answer declines instead of asking for ever.
      {2, "maybe\n", kxAskNoOfTwo, 2},
      {1, "", kxAskCancel, 1},
      {3, "", kxAskCancel, 1},
      {0, "", kxAskOk, 1},
  };
  const char* const suffixes[] = {" ", " [Ok/Cancel] ", " [Yes/No] ", " [Yes/No/Cancel] "};
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + std::to_string(c.kind) + " input \"" + c.input.substr(0, 20) + "\"");
    const ChildRun run = withPipedInput(c.input, [&] { return std::to_string(kxAsk(c.kind, "Go on?")); });
    ASSERT_TRUE(exitedCleanly(run));
    EXPECT_EQ(run.result, std::to_string(c.answer));
    std::string expected;
    for (size_t i = 0; i < c.asked; ++i) expected += std::string("Warning: Go on?") + suffixes[c.kind];
    EXPECT_EQ(run.output, expected);
  }
}

TEST(Ask, MessagesAndWarnings) {
  const ChildRun asked = withPipedInput("n\n", [] {
    return std::to_string(kxAskMessage(2, kxMessage("Overwrite \"$f\"?", 'f', "zone.db")));
  });
  EXPECT_EQ(asked.output, "Warning: Overwrite \"zone.db\"? [Yes/No] ");
  EXPECT_EQ(asked.result, std::to_string(kxAskNoOfTwo));

  const ChildRun warned = withPipedInput("\n", [] { return std::to_string(kxWarn(kxMessage("Line $l skipped", 'l', 7u))); });
  EXPECT_EQ(warned.output, "Warning: Line 7 skipped ");
  EXPECT_EQ(warned.result, "1");

  const ChildRun silent = withPipedInput("left unread\n", [] {
    const int code = kxWarn(kxMessage(""));
    std::string rest;
    std::getline(std::cin, rest);
    return std::to_string(code) + "/" + rest;
  });
  EXPECT_EQ(silent.output, "");
  EXPECT_EQ(silent.result, "0/left unread");
}

TEST(Prompt, LineAnswers) {
  const ChildRun run = withPipedInput("server01\n" + std::string(300, 'z') + "\nlast", [] {
    std::string first = "stale", second, third;
    kxPrompt("server: ", first, false);
    kxPrompt("name: ", second, false);
    kxPrompt("more: ", third, false);
    return first + "|" + std::to_string(second.size()) + "|" + third;
  });
  EXPECT_EQ(run.output, "server: name: more: ");
  EXPECT_EQ(run.result, "server01|255|last");
}

TEST(Prompt, HiddenOnATerminal) {
  struct Case {
    std::string keys;
    std::string answer;
  };
  const Case cases[] = {
      {"ab\x7f" "c\r", "ac"},        // Backspace
      {"ab\b" "c\r", "ac"},          // Ctrl-H
      {"\x7f" "q\r", "q"},           // Backspace with nothing typed
      {"xy\x03", "xy"},              // Ctrl-C ends like Enter, and is no signal here
      {"z\x04", "z"},                // Ctrl-D
      {"se cret\n", "se cret"},
      {"p\x1b[Aq\r", "pq"},          // a cursor key
      {"a\x1b[15~b\x1bOPc\r", "abc"},  // function keys
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    const ChildRun run = withTerminal(c.keys, [] {
      std::string answer = "stale";
      kxPrompt("Password: ", answer, true);
      termios after{};
      tcgetattr(0, &after);
      const bool restored = (after.c_lflag & (ECHO | ICANON | ISIG)) == (ECHO | ICANON | ISIG);
      return answer + (restored ? "" : " (terminal left raw)");
    });
    ASSERT_TRUE(exitedCleanly(run)) << "status " << run.status;
    EXPECT_EQ(run.result, c.answer);
    // Only the prompt and the line end written afterwards: nothing typed was echoed.
    EXPECT_EQ(run.output, "Password: \r\n");
  }
}

// A signal that ends the process while echo is off must leave the terminal as it was found,
// and the process must still end by that signal.
TEST(Prompt, TerminalComesBackWhenASignalEndsTheProcess) {
  struct Case {
    const char* name;
    int signal;
    std::function<std::string()> body;
  };
  const Case cases[] = {
      {"prompt, SIGTERM", SIGTERM, hiddenPrompt},
      {"prompt, SIGHUP", SIGHUP, hiddenPrompt},
      {"prompt, SIGINT sent from outside", SIGINT, hiddenPrompt},
      {"password read, SIGTERM", SIGTERM,
       [] {
         orvo::platform::TerminalEchoOff quiet;
         std::string line;
         std::getline(std::cin, line);
         return line;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TerminalChild child = startOnTerminal(c.body);
    ASSERT_GT(child.pid, 0);
    kill(child.pid, c.signal);
    int status = 0;
    waitpid(child.pid, &status, 0);
    const termios after = terminalSettings(child.master);
    close(child.master);
    close(child.result);
    EXPECT_EQ(after.c_lflag & (ECHO | ICANON), static_cast<tcflag_t>(ECHO | ICANON));
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), c.signal);
  }
}

// A process of the terminal's foreground group, the way a shell starts a job: only such a
// group stops on SIGTSTP (the session leader's own group has no parent in the session, and
// the system drops stop signals for it). The session leader waits for the job; the job's
// answer is the result.
std::string hiddenPromptAsJob() {
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    sigset_t ttou, previous;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    tcsetpgrp(0, getpid());
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return hiddenPrompt();
  }
  int status = 0;
  waitpid(job, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : " (job status " + std::to_string(status) + ")";
}

char processState(pid_t inPid) {
  const std::string stat = orvo::test::readFile("/proc/" + std::to_string(inPid) + "/stat");
  const size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

// Stopped (SIGTSTP) in a hidden prompt, the terminal echoes for whoever uses it meanwhile; on
// SIGCONT the prompt hides its keys again and goes on to its answer.
TEST(Prompt, TerminalEchoesWhileStoppedAndNotAfterContinuing) {
  const TerminalChild child = startOnTerminal(hiddenPromptAsJob);
  ASSERT_GT(child.pid, 0);
  const pid_t job = tcgetpgrp(child.master);
  ASSERT_GT(job, 0);
  ASSERT_NE(job, child.pid);
  kill(-job, SIGTSTP);
  EXPECT_TRUE(waitForEcho(child.master, true)) << "echo stayed off for the stop";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (processState(job) != 'T' && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(processState(job), 'T');
  kill(-job, SIGCONT);
  EXPECT_TRUE(waitForEcho(child.master, false)) << "echo stayed on after continuing";
  writeAll(child.master, "ok\r");
  const ChildRun run = finish(child.pid, child.result, child.master);
  ASSERT_TRUE(exitedCleanly(run)) << "status " << run.status;
  EXPECT_EQ(run.result, "ok");
  EXPECT_EQ(run.output, "Password: \r\n");
}

TEST(Prompt, HiddenFromAPipe) {
  struct Case {
    std::string input;
    std::string answer;
  };
  const Case cases[] = {
      {"ab\bc\nnext\n", "ac"},
      {std::string("k\0xy\r", 5), "ky"},  // 0 announces a function key; its code is dropped
      {"to the end", "to the end"},
  };
  for (const Case& c : cases) {
    const ChildRun run = withPipedInput(c.input, [] {
      std::string answer;
      kxPrompt("pin: ", answer, true);
      return answer;
    });
    EXPECT_EQ(run.result, c.answer);
    EXPECT_EQ(run.output, "pin: \n");
  }
}

TEST(StrStream, ReadsBackWhatWasWritten) {
  kxStrStream stream;
  stream << "ttl " << 3600 << ' ' << -2;
  std::string word;
  int ttl = 0, offset = 0;
  stream >> word >> ttl >> offset;
  EXPECT_EQ(word, "ttl");
  EXPECT_EQ(ttl, 3600);
  EXPECT_EQ(offset, -2);
  EXPECT_EQ(stream.str(), "ttl 3600 -2");

  kxStrStream given("a b");
  given >> word;
  EXPECT_EQ(word, "a");
}

}  // namespace
