// The information log: thresholds, sinks, destinations and line formats.
//
// The log's settings are process-wide and the sink threshold is never lowered, so each case
// runs in a child process of its own (forked from a parent that never touches the log) and
// reports back through its standard error and a file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "orvo/debug/kxinfolog.h"
#include "support/kxtestsupport.h"

namespace {

using orvo::test::TempDir;

// Runs inBody in a child process; returns what it wrote to standard error.
std::string runIsolated(const std::function<void()>& inBody) {
  orvo::test::CaptureFd capture(2);
  const pid_t child = fork();
  if (child == 0) {
    inBody();
    std::fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return capture.text();
}

// A sink that records what it saw in a file and claims the levels listed in gClaimed.
std::string gSinkFile;
std::string gClaimed;
bool recordingSink(kxInfoLogLevel inLevel, const char* inText) {
  if (FILE* file = std::fopen(gSinkFile.c_str(), "a")) {
    std::fprintf(file, "%d %s\n", inLevel, inText);
    std::fclose(file);
  }
  return gClaimed.find(static_cast<char>('0' + inLevel)) != std::string::npos;
}
bool otherSink(kxInfoLogLevel, const char*) { return false; }

std::vector<int> levelsIn(const std::string& inText, const std::regex& inLine) {
  std::vector<int> levels;
  for (auto it = std::sregex_iterator(inText.begin(), inText.end(), inLine); it != std::sregex_iterator(); ++it)
    levels.push_back(std::stoi((*it)[1]));
  return levels;
}

struct RoutingCase {
  const char* name;
  kxInfoLogLevel threshold;
  int sinkLevel;        // -1: no sink
  const char* claimed;  // levels the sink returns true for
  std::vector<int> toStdErr;
  std::vector<int> toSink;
};

class InfoLogRouting : public ::testing::TestWithParam<RoutingCase> {};

TEST_P(InfoLogRouting, LevelsReachTheirDestinations) {
  const RoutingCase& c = GetParam();
  TempDir dir;
  gSinkFile = dir.file("sink");
  gClaimed = c.claimed;
  const std::string err = runIsolated([&] {
    kxSetInfoLogLevel(c.threshold);
    if (c.sinkLevel >= 0) kxInfoLogAddSink(recordingSink, c.sinkLevel);
    for (int level = 0; level <= 6; ++level) kxInfoLogPrintf(level, "message %d", level);
  });
  EXPECT_EQ(levelsIn(err, std::regex(R"(\d\d:\d\d:\d\d message (\d)\n)")), c.toStdErr) << err;
  EXPECT_EQ(levelsIn(orvo::test::readFile(gSinkFile), std::regex(R"((\d) message \d\n)")), c.toSink);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InfoLogRouting,
    ::testing::Values(
        RoutingCase{"defaults", 3, -1, "", {0, 1, 2, 3}, {}},
        RoutingCase{"debugThreshold", 5, -1, "", {0, 1, 2, 3, 4, 5}, {}},
        RoutingCase{"negativeThreshold", -1, -1, "", {}, {}},
        RoutingCase{"sinkAboveThreshold", 3, 5, "", {0, 1, 2, 3}, {0, 1, 2, 3, 4, 5}},
        RoutingCase{"sinkClaimsLevel2", 3, 5, "2", {0, 1, 3}, {0, 1, 2, 3, 4, 5}},
        RoutingCase{"sinkBelowThreshold", 5, 1, "", {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}},
        RoutingCase{"sinkClaimsAll", 5, 0, "012345", {}, {0, 1, 2, 3, 4, 5}}),
    [](const auto& inInfo) { return std::string(inInfo.param.name); });

TEST(InfoLog, RemovingASinkKeepsItsThreshold) {
  TempDir dir;
  gSinkFile = dir.file("sink");
  gClaimed = "";
  const std::string err = runIsolated([] {
    kxInfoLogAddSink(recordingSink, 5);
    kxInfoLogAddSink(otherSink, 5);
    kxInfoLogAddSink(recordingSink, 1);
    kxInfoLogRemoveSink(recordingSink);  // both entries go
    kxInfoLogWrite(4, "after removal");
    kxInfoLogRemoveSink(otherSink);
    kxInfoLogWrite(3, "no sinks left");
  });
  EXPECT_EQ(orvo::test::readFile(gSinkFile), "");
  EXPECT_NE(err.find(" no sinks left\n"), std::string::npos);
  EXPECT_EQ(err.find("after removal"), std::string::npos);
}

// Sinks that take themselves, or an earlier sink, out while a line is written.
bool selfRemovingSink(kxInfoLogLevel inLevel, const char* inText) {
  recordingSink(inLevel, inText);
  kxInfoLogRemoveSink(selfRemovingSink);
  return false;
}
bool removingEarlierSink(kxInfoLogLevel, const char*) {
  kxInfoLogRemoveSink(recordingSink);
  return false;
}
bool laterSink(kxInfoLogLevel inLevel, const char* inText) {
  return recordingSink(inLevel, (std::string("later ") + inText).c_str());
}

TEST(InfoLog, EverySinkRegisteredWhenTheLineIsWrittenGetsIt) {
  TempDir dir;
  gSinkFile = dir.file("sink");
  gClaimed = "";
  runIsolated([] {
    kxInfoLogAddSink(selfRemovingSink, 3);
    kxInfoLogAddSink(laterSink, 3);
    kxInfoLogWrite(3, "first");
    kxInfoLogRemoveSink(laterSink);

    kxInfoLogAddSink(recordingSink, 3);
    kxInfoLogAddSink(removingEarlierSink, 3);
    kxInfoLogAddSink(laterSink, 3);
    kxInfoLogWrite(3, "second");
    kxInfoLogWrite(3, "third");
  });
  EXPECT_EQ(orvo::test::readFile(gSinkFile), "3 first\n3 later first\n3 second\n3 later second\n3 later third\n");
}

// A sink that logs from inside the log: the lock is recursive, so this must not deadlock.
bool reentrantSink(kxInfoLogLevel inLevel, const char* inText) {
  if (inLevel == 1) kxInfoLogPrintf(2, "echo of <%s>", inText);
  return false;
}

TEST(InfoLog, SinkMayLogAndLinesNeverInterleave) {
  const std::string err = runIsolated([] {
    kxInfoLogAddSink(reentrantSink, 3);
    kxInfoLogWrite(1, "outer");
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
      writers.emplace_back([t] {
        const std::string text(200, static_cast<char>('a' + t));
        for (int i = 0; i < 200; ++i) kxInfoLogWrite(3, text.c_str());
      });
    for (auto& w : writers) w.join();
  });
  EXPECT_NE(err.find(" echo of <outer>\n"), std::string::npos);
  EXPECT_NE(err.find(" outer\n"), std::string::npos);
  const std::regex whole(R"(\d\d:\d\d:\d\d ([a-d])\1{199})");
  size_t lines = 0;
  size_t start = 0;
  for (size_t end; (end = err.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = err.substr(start, end - start);
    if (line.find("outer") != std::string::npos) continue;
    EXPECT_TRUE(std::regex_match(line, whole)) << line.substr(0, 60);
    ++lines;
  }
  EXPECT_EQ(lines, 800u);
}

TEST(InfoLog, FileModeLineFormat) {
  TempDir dir;
  const std::string path = dir.file("log.txt");
  const std::string err = runIsolated([&] {
    kxInfoLogToFile("", path.c_str());
    kxInfoLogWrite(2, "without prefix");
    kxInfoLogToFile("svc", path.c_str());
    kxInfoLogWrite(2, "with prefix");
    kxInfoLogWrite(4, "above threshold");
    std::printf("%s", kxInfoLogFileName().c_str());
  });
  EXPECT_EQ(err, "");
  const std::regex expected(
      R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [1-9]\d? \d\d:\d\d:\d\d without prefix\n)"
      R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [1-9]\d? \d\d:\d\d:\d\d svc: with prefix\n)");
  EXPECT_TRUE(std::regex_match(orvo::test::readFile(path), expected)) << orvo::test::readFile(path);
}

TEST(InfoLog, UnopenableFileAndOtherModesDropLines) {
  TempDir dir;
  const std::string err = runIsolated([&] {
    kxInfoLogToFile("p", (dir.path() + "/missing/dir/log.txt").c_str());
    kxInfoLogWrite(0, "dropped");
    kxInfoLogSetMode("", 7);
    kxInfoLogWrite(0, "nowhere");
    kxInfoLogSetMode("", kxInfoLogModeStdErr);
    kxInfoLogWrite(0, "back on stderr");
  });
  EXPECT_EQ(err.find("dropped"), std::string::npos);
  EXPECT_EQ(err.find("nowhere"), std::string::npos);
  EXPECT_NE(err.find(" back on stderr\n"), std::string::npos);
}

TEST(InfoLog, FormattedTextIsCutAt10239Characters) {
  TempDir dir;
  gSinkFile = dir.file("sink");
  gClaimed = "0";
  runIsolated([] {
    kxInfoLogAddSink(recordingSink, 0);
    const std::string longText(20000, 'x');
    kxInfoLogPrintf(0, "%s", longText.c_str());
  });
  EXPECT_EQ(orvo::test::readFile(gSinkFile), "0 " + std::string(10239, 'x') + "\n");
}

TEST(InfoLog, DefaultsAndLevelNames) {
  EXPECT_EQ(kxGetInfoLogLevel(), 3);
  EXPECT_EQ(kxInfoLogFileName(), "infoLog.log");
  const char* expected[] = {"", "error", "notice", "warning", "info", "info", "debug", ""};
  for (int level = -1; level <= 6; ++level) EXPECT_STREQ(kxInfoLogLevelName(level), expected[level + 1]) << level;
}

}  // namespace
