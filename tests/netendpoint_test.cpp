// The buffered stream layer of the network endpoints, over a real TCP connection to a
// plain-socket peer on loopback. A counting endpoint records the raw reads and writes the
// layer makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvo/net/kxipendpoint.h"
#include "support/kxplainsocket.h"

namespace {

using orvo::test::Fd;

// How much earlier than its time a time-out may end: the library measures time in ticks of
// the system's tick count, which on Windows advances 10 to 16 ms at a time.
#ifdef _WIN32
constexpr std::chrono::milliseconds kTickSlack{16};
#else
constexpr std::chrono::milliseconds kTickSlack{0};
#endif

class CountingEndpoint : public kxIPEndpoint {
 public:
  CountingEndpoint(int32_t inTimeout) : kxIPEndpoint(nullptr, inTimeout) { itsProtocol = kProtocolStream; }
  kxErr netRead(char* outData, uint32_t* ioSize) override {
    readsAsked.push_back(*ioSize);
    timeoutsSeen.push_back(itsTimeout);
    return kxIPEndpoint::netRead(outData, ioSize);
  }
  kxErr netWrite(const char* inData, uint32_t inSize) override {
    writes.push_back(inSize);
    return kxIPEndpoint::netWrite(inData, inSize);
  }
  void setTotalBytes(uint64_t inTotal) { itsTotalBytes = inTotal; }
  size_t readBufferCapacity() const { return itsReadBuffer.size(); }
  size_t writeBufferCapacity() const { return itsWriteBuffer.size(); }

  std::vector<uint32_t> readsAsked;
  std::vector<int32_t> timeoutsSeen;
  std::vector<uint32_t> writes;
};

// An endpoint connected to a plain peer socket.
class BufferedLayer : public ::testing::Test {
 protected:
  void SetUp() override { open(2000); }
  void open(int32_t inTimeout) {
    itsListener = orvo::test::boundLoopback(AF_INET, SOCK_STREAM);
    ASSERT_GE(itsListener.get(), 0);
    endpoint = std::make_unique<CountingEndpoint>(inTimeout);
    ASSERT_EQ(endpoint->connect(kxIPv6("127.0.0.1"), orvo::test::boundPort(itsListener.get())), kxErr_noError);
    peer = orvo::test::acceptWithin(itsListener.get());
    ASSERT_GE(peer.get(), 0);
  }
  std::string readLine(uint32_t inCapacity, kxErr* outError = nullptr) {
    std::vector<char> line(inCapacity + 1, '#');
    uint32_t size = inCapacity;
    const kxErr error = endpoint->readLine(line.data(), &size);
    if (outError != nullptr) *outError = error;
    EXPECT_EQ(line[size], '\0');
    return std::string(line.data(), size);
  }

  Fd itsListener;
  std::unique_ptr<CountingEndpoint> endpoint;
  Fd peer;
};

TEST_F(BufferedLayer, SmallReadFillsTheBufferAndNextReadIsServedFromMemory) {
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), std::string(300, 'x')));
  ASSERT_TRUE(orvo::test::readable(endpoint->getSocket(), 2000));
  char data[200];
  uint32_t size = 100;
  ASSERT_EQ(endpoint->read(data, &size), kxErr_noError);
  EXPECT_EQ(size, 100u);
  size = 200;
  ASSERT_EQ(endpoint->read(data, &size), kxErr_noError);
  EXPECT_EQ(size, 200u);
  EXPECT_EQ(endpoint->readsAsked, (std::vector<uint32_t>{10240}));
  EXPECT_EQ(endpoint->getTotalBytes(), 300u);
}

TEST_F(BufferedLayer, ReadAboveHalfTheBufferGoesStraightToTheSocket) {
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), std::string(6000, 'y')));
  std::string data(6000, '\0');
  ASSERT_EQ(endpoint->readExactly(data.data(), 6000), kxErr_noError);
  EXPECT_EQ(data, std::string(6000, 'y'));
  ASSERT_FALSE(endpoint->readsAsked.empty());
  EXPECT_EQ(endpoint->readsAsked.front(), 6000u);
}

TEST_F(BufferedLayer, SmallWritesWaitForFlushAndGoOutInOneSend) {
  ASSERT_EQ(endpoint->write("0123456789", 10), kxErr_noError);
  ASSERT_EQ(endpoint->write("abcdefghij", 10), kxErr_noError);
  EXPECT_TRUE(endpoint->writes.empty());
  EXPECT_FALSE(orvo::test::readable(peer.get(), 50));
  ASSERT_EQ(endpoint->flush(), kxErr_noError);
  EXPECT_EQ(endpoint->writes, (std::vector<uint32_t>{20}));
  EXPECT_EQ(orvo::test::receiveUpTo(peer.get(), 20), "0123456789abcdefghij");
  EXPECT_EQ(endpoint->getTotalBytes(), 20u);
}

TEST_F(BufferedLayer, LinesAndNetworkByteOrder) {
  ASSERT_EQ(endpoint->writeLine("OK"), kxErr_noError);
  ASSERT_EQ(endpoint->writeShort(uint16_t{0x1234}), kxErr_noError);
  ASSERT_EQ(endpoint->writeShort(int16_t{-2}), kxErr_noError);
  ASSERT_EQ(endpoint->writeLong(uint32_t{0x89ABCDEF}), kxErr_noError);
  ASSERT_EQ(endpoint->writeLong(int32_t{-1}), kxErr_noError);
  ASSERT_EQ(endpoint->writeString("z", true), kxErr_noError);
  ASSERT_EQ(endpoint->flush(), kxErr_noError);
  EXPECT_EQ(orvo::test::receiveUpTo(peer.get(), 18),
            std::string("OK\r\n\x12\x34\xFF\xFE\x89\xAB\xCD\xEF\xFF\xFF\xFF\xFFz\0", 18));

  ASSERT_TRUE(orvo::test::sendAll(peer.get(), std::string("\xFE\xDC\x80\x01\x02\x03\xFF\xFF\xFF\xFE", 10)));
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  int32_t s32 = 0;
  ASSERT_EQ(endpoint->readShort(&u16), kxErr_noError);
  ASSERT_EQ(endpoint->readLong(&u32), kxErr_noError);
  ASSERT_EQ(endpoint->readLong(&s32), kxErr_noError);
  EXPECT_EQ(u16, 0xFEDC);
  EXPECT_EQ(u32, 0x80010203u);
  EXPECT_EQ(s32, -2);
}

TEST_F(BufferedLayer, ReadLineKeepsWhatDoesNotFitForTheNextRead) {
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "a\rb\r\nabc\nxy\r\nlast"));
  EXPECT_EQ(readLine(10), "ab");
  // Capacity 3: two characters and the NUL; the 'c' is the start of the next read.
  EXPECT_EQ(readLine(3), "ab");
  EXPECT_EQ(readLine(10), "c");
  // A line that fills the buffer exactly still takes its line end with it.
  EXPECT_EQ(readLine(3), "xy");
  peer.reset();
  kxErr error = kxErr_noError;
  EXPECT_EQ(readLine(10, &error), "last");
  EXPECT_EQ(error, kxErr_disconnect);
}

TEST_F(BufferedLayer, ReadLineOfAByteAtATimePeer) {
  orvo::test::PeerThread trickle([&] {
    for (char c : std::string("slow line\r\n")) {
      ::send(peer.get(), &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  EXPECT_EQ(readLine(64), "slow line");
}

TEST_F(BufferedLayer, ReadExactlyWithoutTimeOutKeepsNoTimeOutAcrossManySmallWrites) {
  endpoint->setTimeout(-1);
  const std::string sent = "0123456789abcdefghijklmnopqrstuvwxyz";
  orvo::test::PeerThread trickle([&] {
    for (char c : sent) {
      ::send(peer.get(), &c, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  std::string got(sent.size(), '\0');
  ASSERT_EQ(endpoint->readExactly(got.data(), static_cast<uint32_t>(got.size())), kxErr_noError);
  EXPECT_EQ(got, sent);
  EXPECT_GT(endpoint->readsAsked.size(), 1u);
  for (int32_t timeout : endpoint->timeoutsSeen) EXPECT_EQ(timeout, -1);
  EXPECT_EQ(endpoint->getTimeout(), -1);
}

TEST_F(BufferedLayer, ReadExactlyFromAStalledPeerTimesOutWithinItsTimeAndRestoresIt) {
  endpoint->setTimeout(200);
  ASSERT_TRUE(orvo::test::sendAll(peer.get(), "ab"));
  orvo::test::PeerThread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    orvo::test::sendAll(peer.get(), "c");
  });
  char data[4];
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(endpoint->readExactly(data, 4), kxErr_timeout);
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(190) - kTickSlack);
  EXPECT_LT(took, std::chrono::milliseconds(320));
  EXPECT_EQ(endpoint->getTimeout(), 200);
  // The wait after the late byte got only what was left of the call's time.
  ASSERT_GE(endpoint->timeoutsSeen.size(), 3u);
  EXPECT_LT(endpoint->timeoutsSeen.back(), 150);
}

TEST_F(BufferedLayer, SmallerBufferSizeRoutesLargerTransfersAroundTheBuffers) {
  endpoint->setBufferSize(4096);
  EXPECT_EQ(endpoint->readBufferCapacity(), 10240u);
  EXPECT_EQ(endpoint->writeBufferCapacity(), 10240u);
  const std::string block(3000, 'w');
  ASSERT_EQ(endpoint->write(block.data(), 3000), kxErr_noError);
  EXPECT_EQ(endpoint->writes, (std::vector<uint32_t>{3000}));
  EXPECT_EQ(orvo::test::receiveUpTo(peer.get(), 3000).size(), 3000u);

  ASSERT_TRUE(orvo::test::sendAll(peer.get(), std::string(3000, 'r')));
  std::string data(3000, '\0');
  ASSERT_EQ(endpoint->readExactly(data.data(), 3000), kxErr_noError);
  EXPECT_EQ(endpoint->readsAsked.front(), 3000u);

  endpoint->setBufferSize(20000);
  EXPECT_EQ(endpoint->readBufferCapacity(), 20000u);
  EXPECT_EQ(endpoint->getBufferSize(), 20000u);
}

TEST_F(BufferedLayer, ByteTotalGoesPastTwoGibibytes) {
  endpoint->setTotalBytes(0x7FFFFFF0u);
  ASSERT_EQ(endpoint->write(std::string(6000, 'q').data(), 6000), kxErr_noError);
  EXPECT_EQ(endpoint->getTotalBytes(), 0x7FFFFFF0ull + 6000);
}

TEST(BufferedLayerDatagram, ReadBeforeAnyTrafficHasNoData) {
  kxIPEndpoint endpoint(nullptr, 100);
  endpoint.setProtocol(kxNetEndpoint::kProtocolDatagram);
  char data[8];
  uint32_t size = sizeof data;
  EXPECT_EQ(endpoint.read(data, &size), kxErr_noData);
  EXPECT_EQ(size, 0u);
}

}  // namespace
