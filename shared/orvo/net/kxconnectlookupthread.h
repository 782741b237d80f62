// Address resolution: the platform's address lookup behind getAddressInfo, name-to-address
// and address-to-name helpers, and kxConnectLookupThread, on which kxIPEndpoint::connect by
// host name resolves the name so that the caller's wait keeps the endpoint's time-out and
// cancel event even while the platform's lookup blocks.
//
// A lookup that does not finish in time is given up on (kxThread::kill): it runs on,
// detached, until the platform's lookup returns. It therefore works only on state it shares
// by ownership with its object: a copy of the name and the slot for the results. The object
// (on the caller's stack) and the caller's variables may be gone by the time it ends; the
// results then go with the shared state, released by whichever side lets go of it last.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "orvo/messages/kxerr.h"
#include "orvo/platform/kxnetwork.h"
#include "orvo/threads/kxthread.h"
#include "orvo/util/kxipv6.h"

class kxConnectLookupThread : public kxThread {
 public:
  // Registers as a child of the calling thread, which must have a thread object; inHostName
  // is copied.
  explicit kxConnectLookupThread(const char* inHostName);
  ~kxConnectLookupThread() override;

  // The lookup's results once the thread has ended, handed over to the caller (who releases
  // them with orvo::platform::freeAddressInfo); null before, after a failed lookup, and on
  // the second call.
  orvo::platform::AddressInfo* takeResult();

 protected:
  void run() override;

 private:
  struct State;
  std::shared_ptr<State> itsState;
};

namespace orvo {

// The addresses of a host name (stream sockets, TCP, any family). kxErr_noConnect for a null
// or empty name, kxErr_resolveFailed when the lookup fails or finds nothing; the results
// (released with orvo::platform::freeAddressInfo) are in *outAddressInfo on success only.
kxErr getAddressInfo(const char* inName, orvo::platform::AddressInfo** outAddressInfo);
// The same for an address, looked up as a number; kxErr_noConnect when it is not legal.
kxErr getAddressInfo(const kxIPv6& inAddress, orvo::platform::AddressInfo** outAddressInfo);
// Every address of a name, IPv4 ones in IPv4-mapped form, in the lookup's order.
kxErr lookupHost(const char* inName, std::list<kxIPv6>& outAddresses);
// The names of an address, by reverse lookup.
kxErr lookupNames(const kxIPv6& inAddress, std::list<std::string>& outNames);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::getAddressInfo;
using orvo::lookupHost;
using orvo::lookupNames;
#endif
