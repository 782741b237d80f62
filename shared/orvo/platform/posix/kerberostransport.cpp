// Kerberos exchanges bounded by the configured time-out. MIT Kerberos tries an unanswering
// KDC on its own fixed schedule (close to half a minute over TCP, whatever the caller can
// wait), so the exchanges of the credential check and of explicit binds go through this
// transport instead, installed as the context's KDC send hook: TCP to each KDC of the realm
// in turn (krb5.conf's kdc entries, else the _kerberos._tcp SRV records), every connect,
// send and receive waiting at most what is left of the time-out. Only host name resolution
// keeps the resolver's own time-out (resolv.conf).
#include <fcntl.h>
#include <krb5.h>
#include <netdb.h>
#include <poll.h>
#include <profile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "directoryinternal.h"

namespace orvo::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxReply = 1 << 20;  // a KDC reply is a few kilobytes

struct Address {
  std::string host;
  std::string port;
};

// "host", "host:port", "[v6]:port", optionally after "tcp/"; URLs (KKDCP) are not ours.
bool parseKdc(std::string inText, Address& outAddress) {
  if (inText.rfind("tcp/", 0) == 0 || inText.rfind("udp/", 0) == 0) inText.erase(0, 4);
  if (inText.empty() || inText.find("://") != std::string::npos) return false;
  outAddress.port = "88";
  if (inText[0] == '[') {
    const size_t close = inText.find(']');
    if (close == std::string::npos) return false;
    outAddress.host = inText.substr(1, close - 1);
    if (close + 1 < inText.size() && inText[close + 1] == ':') outAddress.port = inText.substr(close + 2);
  } else if (const size_t colon = inText.find(':'); colon != std::string::npos && inText.find(':', colon + 1) == std::string::npos) {
    outAddress.host = inText.substr(0, colon);
    outAddress.port = inText.substr(colon + 1);
  } else {
    outAddress.host = inText;
  }
  return !outAddress.host.empty() && !outAddress.port.empty();
}

std::vector<Address> kdcsOf(krb5_context inContext, const std::string& inRealm, int inTimeoutSeconds) {
  std::vector<Address> kdcs;
  profile_t profile = nullptr;
  if (krb5_get_profile(inContext, &profile) == 0) {
    const char* names[] = {"realms", inRealm.c_str(), "kdc", nullptr};
    char** values = nullptr;
    if (profile_get_values(profile, names, &values) == 0 && values != nullptr) {
      for (char** value = values; *value != nullptr; ++value) {
        Address address;
        if (parseKdc(*value, address)) kdcs.push_back(address);
      }
      profile_free_list(values);
    }
    profile_release(profile);
  }
  if (kdcs.empty()) {
    // "ldap://host:port ..." as the SRV look-up writes them.
    std::string uris = detail::lookupSrv("_kerberos._tcp." + toLowerText(inRealm), inTimeoutSeconds);
    for (size_t start = 0; start < uris.size();) {
      size_t end = uris.find(' ', start);
      if (end == std::string::npos) end = uris.size();
      Address address;
      if (parseKdc(uris.substr(start + 7, end - start - 7), address)) kdcs.push_back(address);
      start = end + 1;
    }
  }
  return kdcs;
}

int millisecondsLeft(Clock::time_point inDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(inDeadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int inFd, short inEvents, Clock::time_point inDeadline) {
  pollfd p{inFd, inEvents, 0};
  return poll(&p, 1, millisecondsLeft(inDeadline)) == 1 && (p.revents & (inEvents | POLLHUP | POLLERR)) != 0;
}

struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) close(fd);
  }
};

// One request and its reply over TCP (a 4-byte length before each message).
bool exchange(const Address& inKdc, const krb5_data& inMessage, Clock::time_point inDeadline, std::string& outReply) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(inKdc.host.c_str(), inKdc.port.c_str(), &hints, &list) != 0) return false;
  bool done = false;
  for (addrinfo* item = list; item != nullptr && !done && millisecondsLeft(inDeadline) > 0; item = item->ai_next) {
    Socket socket;
    socket.fd = ::socket(item->ai_family, item->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, item->ai_protocol);
    if (socket.fd < 0) continue;
    if (connect(socket.fd, item->ai_addr, item->ai_addrlen) != 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (errno != EINPROGRESS || !waitFor(socket.fd, POLLOUT, inDeadline) ||
          getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        continue;
    }
    std::string request(4, '\0');
    const uint32_t size = inMessage.length;
    request[0] = static_cast<char>(size >> 24);
    request[1] = static_cast<char>(size >> 16);
    request[2] = static_cast<char>(size >> 8);
    request[3] = static_cast<char>(size);
    request.append(inMessage.data, inMessage.length);
    size_t sent = 0;
    while (sent < request.size() && waitFor(socket.fd, POLLOUT, inDeadline)) {
      const ssize_t n = send(socket.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    if (sent < request.size()) continue;
    std::string reply;
    size_t wanted = 4;
    while (reply.size() < wanted && waitFor(socket.fd, POLLIN, inDeadline)) {
      char buffer[4096];
      const ssize_t n = recv(socket.fd, buffer, std::min(sizeof buffer, wanted - reply.size()), 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
      if (wanted == 4 && reply.size() == 4) {
        const uint32_t length = static_cast<uint32_t>(static_cast<unsigned char>(reply[0])) << 24 |
                                static_cast<uint32_t>(static_cast<unsigned char>(reply[1])) << 16 |
                                static_cast<uint32_t>(static_cast<unsigned char>(reply[2])) << 8 |
                                static_cast<unsigned char>(reply[3]);
        if (length == 0 || length > kMaxReply) break;
        wanted = 4 + length;
      }
    }
    if (wanted > 4 && reply.size() == wanted) {
      outReply = reply.substr(4);
      done = true;
    }
  }
  freeaddrinfo(list);
  return done;
}

// The reply of the first KDC of inRealm that answers inMessage within inTimeoutSeconds.
// Gives 0, KRB5_KDC_UNREACH when none answered, or -1 when no KDC of the realm is ours to
// reach (Kerberos's own transport is then left to it).
krb5_error_code exchangeWithRealm(krb5_context inContext, const std::string& inRealm, const krb5_data& inMessage,
                                  int inTimeoutSeconds, std::string& outReply) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(inTimeoutSeconds);
  const std::vector<Address> kdcs = kdcsOf(inContext, inRealm, inTimeoutSeconds);
  if (kdcs.empty()) return -1;
  for (const Address& kdc : kdcs)
    if (exchange(kdc, inMessage, deadline, outReply)) return 0;
  return KRB5_KDC_UNREACH;
}

// The send hook: every request goes to the realm's KDCs through exchange(), except a first
// request the context's KdcExchanges already holds the answer to.
krb5_error_code KRB5_CALLCONV sendToKdc(krb5_context inContext, void* inData, const krb5_data* inRealm,
                                        const krb5_data* inMessage, krb5_data** outMessage, krb5_data** outReply) {
  *outMessage = nullptr;
  *outReply = nullptr;
  auto& exchanges = *static_cast<detail::KdcExchanges*>(inData);
  std::string reply;
  if (++exchanges.requests == 1 && !exchanges.firstReply.empty()) {
    // The KDC's answer to this same first request, asked ahead.
    reply = exchanges.firstReply;
  } else {
    const krb5_error_code code =
        exchangeWithRealm(inContext, std::string(inRealm->data, inRealm->length), *inMessage,
                          exchanges.timeoutSeconds, reply);
    // Nothing we can reach on our own (a KKDCP URL, say): Kerberos's own transport.
    if (code == -1) return 0;
    if (code != 0) return code;
  }
  krb5_data data{};
  data.length = static_cast<unsigned>(reply.size());
  data.data = reply.data();
  return krb5_copy_data(inContext, &data, outReply);
}

// The same for a context that only bounds its exchanges: the hook's data is the time-out.
krb5_error_code KRB5_CALLCONV sendToKdcWithin(krb5_context inContext, void* inData, const krb5_data* inRealm,
                                              const krb5_data* inMessage, krb5_data** outMessage,
                                              krb5_data** outReply) {
  detail::KdcExchanges exchanges;
  exchanges.timeoutSeconds = static_cast<int>(reinterpret_cast<intptr_t>(inData));
  return sendToKdc(inContext, &exchanges, inRealm, inMessage, outMessage, outReply);
}

}  // namespace

void boundKerberosExchanges(_krb5_context* inContext, int inTimeoutSeconds) {
  krb5_set_kdc_send_hook(inContext, sendToKdcWithin, reinterpret_cast<void*>(static_cast<intptr_t>(inTimeoutSeconds)));
}

namespace detail {

void boundKerberosExchanges(_krb5_context* inContext, KdcExchanges& ioExchanges) {
  krb5_set_kdc_send_hook(inContext, sendToKdc, &ioExchanges);
}

int32_t exchangeWithKdc(_krb5_context* inContext, const std::string& inRealm, const std::string& inMessage,
                        int inTimeoutSeconds, std::string& outReply) {
  krb5_data message{};
  message.length = static_cast<unsigned>(inMessage.size());
  message.data = const_cast<char*>(inMessage.data());
  const krb5_error_code code = exchangeWithRealm(inContext, inRealm, message, inTimeoutSeconds, outReply);
  return code == -1 ? KRB5_REALM_UNKNOWN : code;
}

}  // namespace detail

}  // namespace orvo::platform
