#include "orvo/net/kxconnectlookupthread.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/messages/kxexception.h"
#include "orvo/net/kxipendpoint.h"
#include "orvo/threads/kxmultievent.h"
#include "orvo/threads/kxsingleevent.h"

namespace platform = orvo::platform;

// What the lookup works on; shared by the thread object and the running lookup.
struct kxConnectLookupThread::State {
  State(const char* inHostName) : itsHostName(inHostName != nullptr ? inHostName : "") {}
  ~State() { platform::freeAddressInfo(itsResult); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  const std::string itsHostName;
  std::mutex itsLock;
  platform::AddressInfo* itsResult = nullptr;  // guarded by itsLock
};

kxConnectLookupThread::kxConnectLookupThread(const char* inHostName)
    : kxThread(), itsState(std::make_shared<State>(inHostName)) {
  itsThreadName = "kxConnectLookupThread";
}

kxConnectLookupThread::~kxConnectLookupThread() = default;

platform::AddressInfo* kxConnectLookupThread::takeResult() {
  std::lock_guard<std::mutex> hold(itsState->itsLock);
  return std::exchange(itsState->itsResult, nullptr);
}

void kxConnectLookupThread::run() {
  const std::shared_ptr<State> state = itsState;
  // From here on the object may go at any time.
  releaseObject();
  platform::AddressInfo* result = nullptr;
  const kxErr error = getAddressInfo(state->itsHostName.c_str(), &result);
  {
    std::lock_guard<std::mutex> hold(state->itsLock);
    state->itsResult = result;
  }
  if (error != kxErr_noError) throw kxException(error);
}

namespace orvo {

namespace {

kxErr lookUp(const char* inHost, int inFlags, platform::AddressInfo** outAddressInfo) {
  platform::AddressInfo hints{};
  hints.ai_flags = inFlags;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  const int code = platform::getAddressInfo(inHost, nullptr, &hints, outAddressInfo);
  if (code != 0) {
    *outAddressInfo = nullptr;
    KX_TRACE(1, "kxIPEndpoint::getAddressInfo: error getting address info (0x%04X, <%s>)",
             static_cast<unsigned>(code), platform::addressInfoErrorText(code).c_str());
    return kxErr_resolveFailed;
  }
  return *outAddressInfo != nullptr ? kxErr_noError : kxErr_resolveFailed;
}

}  // namespace

kxErr getAddressInfo(const char* inName, platform::AddressInfo** outAddressInfo) {
  kxAssert(outAddressInfo);
  if (outAddressInfo == nullptr) return kxErr_noConnect;
  *outAddressInfo = nullptr;
  if (inName == nullptr || *inName == '\0') return kxErr_noConnect;
  return lookUp(inName, 0, outAddressInfo);
}

kxErr getAddressInfo(const kxIPv6& inAddress, platform::AddressInfo** outAddressInfo) {
  kxAssert(outAddressInfo);
  if (outAddressInfo == nullptr) return kxErr_noConnect;
  *outAddressInfo = nullptr;
  if (!inAddress.isLegal()) return kxErr_noConnect;
  return lookUp(inAddress.toString(true).c_str(), AI_NUMERICHOST, outAddressInfo);
}

kxErr lookupHost(const char* inName, std::list<kxIPv6>& outAddresses) {
  outAddresses.clear();
  platform::AddressInfo* results = nullptr;
  const kxErr error = getAddressInfo(inName, &results);
  for (const platform::AddressInfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    platform::SocketAddress storage{};
    std::memcpy(&storage, entry->ai_addr, std::min<size_t>(entry->ai_addrlen, sizeof storage));
    kxIPv6 address;
    uint16_t port;
    fromSockAddr(storage, address, port);
    outAddresses.push_back(address);
  }
  platform::freeAddressInfo(results);
  return error;
}

kxErr lookupNames(const kxIPv6& inAddress, std::list<std::string>& outNames) {
  outNames.clear();
  platform::AddressInfo* results = nullptr;
  const kxErr error = getAddressInfo(inAddress, &results);
  // A numeric lookup carries no names: each address is asked for its names backwards.
  for (const platform::AddressInfo* entry = results; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_canonname != nullptr && std::strcmp(entry->ai_canonname, "") != 0)
      outNames.push_back(entry->ai_canonname);
    char host[NI_MAXHOST];
    if (platform::getNameInfo(entry->ai_addr, entry->ai_addrlen, host, sizeof host, nullptr, 0, NI_NAMEREQD) == 0 &&
        std::find(outNames.begin(), outNames.end(), host) == outNames.end())
      outNames.push_back(host);
  }
  platform::freeAddressInfo(results);
  return error;
}

}  // namespace orvo

kxErr kxIPEndpoint::connect(const char* inHostName, uint16_t inPort) {
  kxAssert(!isOpen());
  if (inPort == 0 || inHostName == nullptr || *inHostName == '\0') return kxErr_noConnect;
  const kxIPv6 numeric(inHostName);
  if (numeric.isLegal()) return connect(numeric, inPort);

  platform::AddressInfo* aiList = nullptr;
  kxErr result = kxErr_noError;
  {
    kxConnectLookupThread lookup(inHostName);
    lookup.start();
    kxSingleEvent ended(lookup.getHandle(), false);
    kxMultiEvent group(&ended, itsCancelEvent);
    if (kxThread::waitForEvent(itsTimeout, &group, 0, false))
      result = kxErr_timeout;
    else if (lookup.isStopped() && lookup.getErrorMessage().getErrorValue() != kxErr_noError)
      result = lookup.getErrorMessage().getErrorValue();
    // A lookup still running is given up on here; it touches neither this object nor aiList.
    lookup.kill();
    if (isCancelled()) result = kxErr_userCancelled;
    if (result == kxErr_noError) aiList = lookup.takeResult();
  }
  if (result != kxErr_noError) {
    platform::freeAddressInfo(aiList);
    return result;
  }
  kxAssert(aiList);
  if (aiList == nullptr) return kxErr_resolveFailed;

  for (const platform::AddressInfo* entry = aiList; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET) {
      sockaddr_in address;
      std::memcpy(&address, entry->ai_addr, sizeof address);
      uint8_t bytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
      std::memcpy(bytes + 12, &address.sin_addr, 4);
      const kxIPv6 mapped(bytes);
      result = mapped.isLegal() ? connect(mapped, inPort) : kxErr_noConnect;
    } else if (entry->ai_family == AF_INET6) {
      sockaddr_in6 address;
      std::memcpy(&address, entry->ai_addr, sizeof address);
      const kxIPv6 v6(reinterpret_cast<const uint8_t*>(&address.sin6_addr));
      result = v6.isLegal() ? connect(v6, inPort) : kxErr_noConnect;
    } else {
      continue;
    }
    if (result == kxErr_noError) break;
  }
  platform::freeAddressInfo(aiList);
  return result;
}
