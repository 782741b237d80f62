#include "orvo/net/kxnetendpoint.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "orvo/threads/kxtimer.h"

namespace {

// A call that lends its own time budget to the calls it makes gives itsTimeout back on
// every way out.
class TimeoutRestorer {
 public:
  explicit TimeoutRestorer(int32_t& ioTimeout) : itsTimeout(ioTimeout), itsSaved(ioTimeout) {}
  ~TimeoutRestorer() { itsTimeout = itsSaved; }
  TimeoutRestorer(const TimeoutRestorer&) = delete;
  TimeoutRestorer& operator=(const TimeoutRestorer&) = delete;
  int32_t saved() const { return itsSaved; }

 private:
  int32_t& itsTimeout;
  const int32_t itsSaved;
};

// Time-outs compare as unsigned, so -1 never runs out.
bool hasRunOut(int32_t inTimeout, uint32_t inElapsed) { return inElapsed > static_cast<uint32_t>(inTimeout); }

}  // namespace

kxNetEndpoint::kxNetEndpoint(kxEvent* inCancelEvent, int32_t inTimeout)
    : itsTimeout(inTimeout),
      itsCancelEvent(inCancelEvent),
      itsReadBuffer(kDefaultBufferSize),
      itsWriteBuffer(kDefaultBufferSize) {}

kxNetEndpoint::~kxNetEndpoint() = default;

kxErr kxNetEndpoint::connectLocal(const char*) { return kxErr_noSupport; }
kxErr kxNetEndpoint::startListenLocal(const char*) { return kxErr_noSupport; }
kxErr kxNetEndpoint::cancelIO() { return kxErr_noSupport; }
bool kxNetEndpoint::setRemoteAddress(const kxIPv6&) { return false; }
void kxNetEndpoint::getLocalAddress(kxIPv6& outAddress) { outAddress = itsLocalAddress; }

bool kxNetEndpoint::setCancelEvent(kxEvent* inCancelEvent) {
  itsCancelEvent = inCancelEvent;
  return true;
}

int32_t kxNetEndpoint::timeLeft(int32_t inTimeout, uint32_t inElapsed) {
  if (inTimeout == -1) return -1;
  if (inElapsed >= static_cast<uint32_t>(inTimeout)) return 0;
  return inTimeout - static_cast<int32_t>(inElapsed);
}

void kxNetEndpoint::setBufferSize(uint32_t inSize) {
  if (inSize > itsBufferSize) {
    try {
      if (inSize > itsReadBuffer.size()) itsReadBuffer.resize(inSize);
      if (inSize > itsWriteBuffer.size()) itsWriteBuffer.resize(inSize);
    } catch (const std::bad_alloc&) {
      // No room: the size stays what the buffers can hold.
      return;
    }
  }
  itsBufferSize = inSize;
}

kxErr kxNetEndpoint::read(char* outData, uint32_t* ioSize) {
  const uint32_t want = *ioSize;
  *ioSize = 0;
  // A datagram endpoint reads only after something went through it.
  if (itsProtocol == kProtocolDatagram && itsTotalBytes == 0) return kxErr_noData;
  if (want == 0) return kxErr_noError;
  if (itsReadPos == itsReadEnd) {
    if (want > itsBufferSize / 2) {
      uint32_t count = want;
      const kxErr error = netRead(outData, &count);
      if (error != kxErr_noError) return error;
      itsTotalBytes += count;
      *ioSize = count;
      return kxErr_noError;
    }
    uint32_t count = itsBufferSize;
    const kxErr error = netRead(itsReadBuffer.data(), &count);
    if (error != kxErr_noError) return error;
    if (count == 0) return kxErr_noError;
    itsTotalBytes += count;
    itsReadPos = 0;
    itsReadEnd = count;
  }
  const size_t taken = std::min<size_t>(want, itsReadEnd - itsReadPos);
  std::memcpy(outData, itsReadBuffer.data() + itsReadPos, taken);
  itsReadPos += taken;
  *ioSize = static_cast<uint32_t>(taken);
  return kxErr_noError;
}

kxErr kxNetEndpoint::readExactly(char* outData, uint32_t inSize) {
  const kxTimer timer;
  uint32_t got = inSize;
  kxErr error = read(outData, &got);
  if (error != kxErr_noError || got == inSize) return error;
  const TimeoutRestorer restore(itsTimeout);
  while (got < inSize) {
    const uint32_t elapsed = timer.elapsed();
    if (hasRunOut(restore.saved(), elapsed)) return kxErr_timeout;
    // Each wait gets only what is left of the whole call's time.
    itsTimeout = timeLeft(restore.saved(), elapsed);
    uint32_t count = inSize - got;
    error = read(outData + got, &count);
    if (error != kxErr_noError) return error;
    got += count;
  }
  return kxErr_noError;
}

kxErr kxNetEndpoint::readLine(char* outData, uint32_t* ioSize) {
  const uint32_t capacity = *ioSize;
  *ioSize = 0;
  if (capacity == 0) return kxErr_noError;
  const TimeoutRestorer restore(itsTimeout);
  const kxTimer timer;
  uint32_t stored = 0;
  kxErr result = kxErr_timeout;
  // One character: false when the line has ended (at a LF, or full before inChar, which is
  // then left unread).
  const auto take = [&](char inChar) {
    if (inChar == '\n') return false;
    if (inChar == '\r') return true;
    if (stored + 1 == capacity) return false;
    outData[stored++] = inChar;
    return true;
  };
  for (;;) {
    // What the read buffer holds is taken without a wait, a run between CRs at a time.
    bool ended = false;
    if (itsReadPos < itsReadEnd) {
      const char* const begin = itsReadBuffer.data() + itsReadPos;
      const size_t available = itsReadEnd - itsReadPos;
      const char* const newline = static_cast<const char*>(std::memchr(begin, '\n', available));
      const size_t segment = newline != nullptr ? static_cast<size_t>(newline - begin) : available;
      size_t at = 0;
      while (at < segment && !ended) {
        const char* const cr = static_cast<const char*>(std::memchr(begin + at, '\r', segment - at));
        const size_t run = (cr != nullptr ? static_cast<size_t>(cr - begin) : segment) - at;
        const size_t room = capacity - 1 - stored;
        const size_t copied = std::min(run, room);
        std::memcpy(outData + stored, begin + at, copied);
        stored += static_cast<uint32_t>(copied);
        at += copied;
        if (copied < run) {
          ended = true;  // full; the rest stays for the next read
        } else if (cr != nullptr) {
          ++at;
        }
      }
      if (!ended && newline != nullptr) {
        ended = true;
        ++at;  // the LF
      }
      itsReadPos += at;
    }
    if (ended) {
      result = kxErr_noError;
      break;
    }
    const uint32_t elapsed = timer.elapsed();
    if (hasRunOut(restore.saved(), elapsed)) break;
    itsTimeout = timeLeft(restore.saved(), elapsed);
    char c;
    const kxErr error = readExactly(&c, 1);
    if (error != kxErr_noError) {
      result = error;
      break;
    }
    if (take(c)) continue;
    if (c != '\n') {
      // Full: the character is the first of what the next read gets.
      if (itsReadPos > 0) {
        itsReadBuffer[--itsReadPos] = c;
      } else {
        itsReadBuffer[0] = c;
        itsReadEnd = 1;
      }
    }
    result = kxErr_noError;
    break;
  }
  outData[stored] = '\0';
  *ioSize = stored;
  return result;
}

kxErr kxNetEndpoint::write(const char* inData, uint32_t inSize) {
  const uint32_t half = itsBufferSize / 2;
  if (inSize > itsWriteBuffer.size() - itsWritePos || inSize > half) {
    const kxErr error = flush();
    if (error != kxErr_noError) return error;
  }
  if (inSize > half) {
    const kxErr error = netWrite(inData, inSize);
    if (error == kxErr_noError) itsTotalBytes += inSize;
    return error;
  }
  std::memcpy(itsWriteBuffer.data() + itsWritePos, inData, inSize);
  itsWritePos += inSize;
  return kxErr_noError;
}

kxErr kxNetEndpoint::flush() {
  if (itsWritePos == 0) return kxErr_noError;
  const uint32_t pending = static_cast<uint32_t>(itsWritePos);
  itsWritePos = 0;
  const kxErr error = netWrite(itsWriteBuffer.data(), pending);
  if (error == kxErr_noError) itsTotalBytes += pending;
  return error;
}

kxErr kxNetEndpoint::writeShort(int16_t inValue) { return writeShort(static_cast<uint16_t>(inValue)); }

kxErr kxNetEndpoint::writeShort(uint16_t inValue) {
  const char bytes[2] = {static_cast<char>(inValue >> 8), static_cast<char>(inValue)};
  return write(bytes, 2);
}

kxErr kxNetEndpoint::writeLong(int32_t inValue) { return writeLong(static_cast<uint32_t>(inValue)); }

kxErr kxNetEndpoint::writeLong(uint32_t inValue) {
  const char bytes[4] = {static_cast<char>(inValue >> 24), static_cast<char>(inValue >> 16),
                         static_cast<char>(inValue >> 8), static_cast<char>(inValue)};
  return write(bytes, 4);
}

kxErr kxNetEndpoint::readShort(int16_t* outValue) {
  uint16_t value;
  const kxErr error = readShort(&value);
  *outValue = static_cast<int16_t>(value);
  return error;
}

kxErr kxNetEndpoint::readShort(uint16_t* outValue) {
  unsigned char bytes[2] = {};
  const kxErr error = readExactly(reinterpret_cast<char*>(bytes), 2);
  *outValue = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
  return error;
}

kxErr kxNetEndpoint::readLong(int32_t* outValue) {
  uint32_t value;
  const kxErr error = readLong(&value);
  *outValue = static_cast<int32_t>(value);
  return error;
}

kxErr kxNetEndpoint::readLong(uint32_t* outValue) {
  unsigned char bytes[4] = {};
  const kxErr error = readExactly(reinterpret_cast<char*>(bytes), 4);
  *outValue = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
  return error;
}

kxErr kxNetEndpoint::writeString(const char* inText, bool inWithNul) {
  return write(inText, static_cast<uint32_t>(std::strlen(inText) + (inWithNul ? 1 : 0)));
}

kxErr kxNetEndpoint::writeLine(const char* inText) {
  const kxErr error = writeString(inText, false);
  if (error != kxErr_noError) return error;
  return write("\r\n", 2);
}
