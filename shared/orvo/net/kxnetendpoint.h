// kxNetEndpoint: the abstract network endpoint. A transport (kxIPEndpoint) supplies opening,
// closing and the raw reads and writes (netRead, netWrite); the base adds, once for every
// transport, a buffered stream layer: reads served from one large raw read, writes gathered
// until flush(), exact and line reads, and values in network byte order.
//
// Transfers larger than half the buffer size go around the buffers, so no large copy is
// made. The buffers are allocated at construction (or when setBufferSize grows them), never
// per call. Every wait of an operation gets the time left of the operation's time-out
// (itsTimeout, -1 for none); another thread may end a wait by setting the cancel event.
// An endpoint is used by one thread at a time.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "orvo/messages/kxerr.h"
#include "orvo/threads/kxevent.h"
#include "orvo/util/kxipv6.h"

class kxNetEndpoint {
 public:
  enum : int32_t { kProtocolRaw = 0, kProtocolDatagram = 1, kProtocolStream = 2 };
  static constexpr uint32_t kDefaultBufferSize = 10240;

  kxNetEndpoint(kxEvent* inCancelEvent, int32_t inTimeout);
  kxNetEndpoint(const kxNetEndpoint&) = delete;
  kxNetEndpoint& operator=(const kxNetEndpoint&) = delete;
  virtual ~kxNetEndpoint();

  virtual kxErr connect(const kxIPv6& inAddress, uint16_t inPort) = 0;
  virtual kxErr connect(const char* inHostName, uint16_t inPort) = 0;
  virtual kxErr connectLocal(const char* inLocalName);
  virtual kxErr startListen(uint16_t inPort, const kxIPv6& inLocalAddress) = 0;
  virtual kxErr startListenLocal(const char* inLocalName);
  // A new endpoint for one accepted connection, owned by the caller; null when none came.
  virtual kxNetEndpoint* accept() = 0;
  virtual kxErr close() = 0;

  // Reads exactly inSize bytes within the time-out.
  virtual kxErr readExactly(char* outData, uint32_t inSize);
  // Reads what is there, at most *ioSize bytes; *ioSize becomes the count.
  virtual kxErr read(char* outData, uint32_t* ioSize);
  virtual kxErr write(const char* inData, uint32_t inSize);
  // Sends the gathered bytes; they are dropped when the send fails.
  virtual kxErr flush();

  virtual bool setRemoteAddress(const kxIPv6& inAddress);
  virtual void getLocalAddress(kxIPv6& outAddress);
  virtual bool isOpen() = 0;
  virtual bool setCancelEvent(kxEvent* inCancelEvent);
  virtual void getLocalAddresses(std::list<kxIPv6>& outAddresses) = 0;
  // Aborts what the endpoint is doing (see the transport); kxErr_noSupport here.
  virtual kxErr cancelIO();
  // An unopened endpoint of the same kind (what accept() hands out).
  virtual kxNetEndpoint* newEndpoint(kxEvent* inCancelEvent, int32_t inTimeout) = 0;
  // Raw write of all inSize bytes.
  virtual kxErr netWrite(const char* inData, uint32_t inSize) = 0;
  // Raw read of at most *ioSize bytes; *ioSize becomes the count.
  virtual kxErr netRead(char* outData, uint32_t* ioSize) = 0;

  // Grows both buffers when inSize is larger (keeping their contents); a smaller size only
  // lowers the size that decides what goes around the buffers. When memory for larger
  // buffers runs out, nothing changes.
  void setBufferSize(uint32_t inSize);
  uint32_t getBufferSize() const { return itsBufferSize; }

  kxErr writeShort(int16_t inValue);
  kxErr writeShort(uint16_t inValue);
  kxErr writeLong(int32_t inValue);
  kxErr writeLong(uint32_t inValue);
  // The value is converted even when the read failed.
  kxErr readShort(int16_t* outValue);
  kxErr readShort(uint16_t* outValue);
  kxErr readLong(int32_t* outValue);
  kxErr readLong(uint32_t* outValue);
  kxErr writeString(const char* inText, bool inWithNul);
  // The text, then CR LF when the text went out without error.
  kxErr writeLine(const char* inText);
  // Reads a line ended by LF into outData, whose capacity *ioSize counts the terminating
  // NUL; CRs are dropped. A line longer than the capacity ends when only the NUL's place is
  // left, and its rest stays for the next read. On every exit the text is NUL-terminated
  // (when the capacity is not 0) and *ioSize is the number of characters stored.
  kxErr readLine(char* outData, uint32_t* ioSize);

  int32_t getProtocol() const { return itsProtocol; }
  void setProtocol(int32_t inProtocol) { itsProtocol = inProtocol; }
  int32_t getTimeout() const { return itsTimeout; }
  void setTimeout(int32_t inTimeout) { itsTimeout = inTimeout; }
  kxEvent* getCancelEvent() const { return itsCancelEvent; }
  const kxIPv6& getRemoteAddress() const { return itsRemoteAddress; }
  uint16_t getRemotePort() const { return itsRemotePort; }
  uint16_t getLocalPort() const { return itsLocalPort; }
  // Bytes moved through the buffered layer, reads and writes together.
  uint64_t getTotalBytes() const { return itsTotalBytes; }

 protected:
  kxIPv6 itsRemoteAddress;
  uint16_t itsRemotePort = 0;
  kxIPv6 itsLocalAddress;
  uint16_t itsLocalPort = 0;
  int32_t itsProtocol = kProtocolRaw;
  int32_t itsTimeout;
  kxEvent* itsCancelEvent;
  // 64 bits: a long-lived connection moves more than 2 GiB.
  uint64_t itsTotalBytes = 0;
  uint32_t itsBufferSize = kDefaultBufferSize;
  std::vector<char> itsReadBuffer;
  size_t itsReadPos = 0;
  size_t itsReadEnd = 0;
  std::vector<char> itsWriteBuffer;
  size_t itsWritePos = 0;

 private:
  // The time left of inTimeout after inElapsed ms; -1 (none) stays -1.
  static int32_t timeLeft(int32_t inTimeout, uint32_t inElapsed);
};
