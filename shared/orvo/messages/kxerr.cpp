#include "orvo/messages/kxerr.h"

#include <cstdio>

namespace {

// One buffer per thread: callers on different threads must not see each other's text.
thread_local char tUnlistedName[8];

#define KX_ERR_NAME(inCode) \
  case inCode:              \
    return #inCode

const char* listedName(kxErr inError) {
  switch (inError) {
    KX_ERR_NAME(kxErr_noError);
    KX_ERR_NAME(kxErr_userCancelled);
    KX_ERR_NAME(kxErr_timeout);
    KX_ERR_NAME(kxErr_memFull);
    KX_ERR_NAME(kxErr_resFull);
    KX_ERR_NAME(kxErr_internal);
    KX_ERR_NAME(kxErr_startupFailed);
    KX_ERR_NAME(kxErr_osError);
    KX_ERR_NAME(kxErr_critical);
    KX_ERR_NAME(kxErr_noData);
    KX_ERR_NAME(kxErr_disconnect);
    KX_ERR_NAME(kxErr_noConnect);
    KX_ERR_NAME(kxErr_netMiscErr);
    KX_ERR_NAME(kxErr_noSupport);
    KX_ERR_NAME(kxErr_resolveFailed);
    KX_ERR_NAME(kxErr_noRemoteObject);
    KX_ERR_NAME(kxErr_noAuthority);
    KX_ERR_NAME(kxErr_reqNotSupported);
    KX_ERR_NAME(kxErr_unexpectedData);
    KX_ERR_NAME(kxErr_handlerNotRunning);
    KX_ERR_NAME(kxErr_objectNotRegistered);
    KX_ERR_NAME(kxErr_accessInvalidPassword);
    KX_ERR_NAME(kxErr_accessNoPasswordDefined);
    KX_ERR_NAME(kxErr_accessNotAllowed);
    KX_ERR_NAME(kxErr_accessAlreadyConnected);
    KX_ERR_NAME(kxErr_accessTooManyConnections);
    KX_ERR_NAME(kxErr_serverInfoFailed);
    KX_ERR_NAME(kxErr_fileNotFound);
    KX_ERR_NAME(kxErr_fileOpen);
    KX_ERR_NAME(kxErr_fileWrite);
    KX_ERR_NAME(kxErr_fileDelete);
    KX_ERR_NAME(kxErr_fileRename);
    KX_ERR_NAME(kxErr_parserFailed);
    KX_ERR_NAME(kxErr_parserUnterminatedComment);
    KX_ERR_NAME(kxErr_parserUnexpectedToken);
    KX_ERR_NAME(kxErr_parserExpectedEndOfLine);
    KX_ERR_NAME(kxErr_parserExpectedName);
    KX_ERR_NAME(kxErr_parserExpectedInteger);
    KX_ERR_NAME(kxErr_parserExpectedValue);
    KX_ERR_NAME(kxErr_parserIncorrectFormat);
    KX_ERR_NAME(kxErr_parserInvalidRange);
    KX_ERR_NAME(kxErr_parserIncorrectTTLFormat);
    KX_ERR_NAME(kxErr_parserIncorrectRRFormat);
    KX_ERR_NAME(kxErr_parserUnknownRRType);
    KX_ERR_NAME(kxErr_parserGenerateNotSupported);
    KX_ERR_NAME(kxErr_parserIncludeNotSupported);
    KX_ERR_NAME(kxErr_parserUnsupportedClass);
    KX_ERR_NAME(kxErr_parserTooManySOARecords);
    KX_ERR_NAME(kxErr_parserMissingSOARecord);
    KX_ERR_NAME(kxErr_invalidEntry);
    KX_ERR_NAME(kxErr_unexpectedDNSData);
    KX_ERR_NAME(kxErr_truncatedAnswer);
    KX_ERR_NAME(kxErr_badQueryFormat);
    KX_ERR_NAME(kxErr_serverFailure);
    KX_ERR_NAME(kxErr_NXDomain);
    KX_ERR_NAME(kxErr_notImplemented);
    KX_ERR_NAME(kxErr_serverRefused);
    KX_ERR_NAME(kxErr_unknown);
  }
  return nullptr;
}

#undef KX_ERR_NAME

}  // namespace

namespace orvo {

const char* kxErrName(kxErr inError) {
  if (const char* name = listedName(inError)) return name;
  std::snprintf(tUnlistedName, sizeof tUnlistedName, "0x%02X", static_cast<unsigned>(inError));
  return tUnlistedName;
}

}  // namespace orvo
