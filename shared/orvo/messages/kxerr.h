// kxErr: the library's 16-bit error codes.
//
// The high byte groups the codes by area: 0x01 general, 0x02 network, 0x03 remote objects,
// 0x04 access, 0x05 server information, 0x06 files, 0x07 parser, 0x08 entries, 0x09 DNS
// answers. Values missing from a group (0x0403, 0x0603, 0x0604, 0x0704..0x070F,
// 0x0716..0x071F) are not codes. The values travel in stored texts and between peers, so
// they never change.
#pragma once

#include <cstdint>

enum kxErr : uint16_t {
  kxErr_noError = 0x0000,

  kxErr_userCancelled = 0x0101,
  kxErr_timeout = 0x0102,
  kxErr_memFull = 0x0103,
  kxErr_resFull = 0x0104,
  kxErr_internal = 0x0105,
  kxErr_startupFailed = 0x0106,
  kxErr_osError = 0x0107,
  kxErr_critical = 0x0108,

  kxErr_noData = 0x0201,
  kxErr_disconnect = 0x0202,
  kxErr_noConnect = 0x0203,
  kxErr_netMiscErr = 0x0204,
  kxErr_noSupport = 0x0205,
  kxErr_resolveFailed = 0x0206,

  kxErr_noRemoteObject = 0x0301,
  kxErr_noAuthority = 0x0302,
  kxErr_reqNotSupported = 0x0303,
  kxErr_unexpectedData = 0x0304,
  kxErr_handlerNotRunning = 0x0305,
  kxErr_objectNotRegistered = 0x0306,

  kxErr_accessInvalidPassword = 0x0401,
  kxErr_accessNoPasswordDefined = 0x0402,
  kxErr_accessNotAllowed = 0x0404,
  kxErr_accessAlreadyConnected = 0x0405,
  kxErr_accessTooManyConnections = 0x0406,

  kxErr_serverInfoFailed = 0x0501,

  kxErr_fileNotFound = 0x0601,
  kxErr_fileOpen = 0x0602,
  kxErr_fileWrite = 0x0605,
  kxErr_fileDelete = 0x0606,
  kxErr_fileRename = 0x0607,

  kxErr_parserFailed = 0x0701,
  kxErr_parserUnterminatedComment = 0x0702,
  kxErr_parserUnexpectedToken = 0x0703,
  kxErr_parserExpectedEndOfLine = 0x0710,
  kxErr_parserExpectedName = 0x0711,
  kxErr_parserExpectedInteger = 0x0712,
  kxErr_parserExpectedValue = 0x0713,
  kxErr_parserIncorrectFormat = 0x0714,
  kxErr_parserInvalidRange = 0x0715,
  kxErr_parserIncorrectTTLFormat = 0x0720,
  kxErr_parserIncorrectRRFormat = 0x0721,
  kxErr_parserUnknownRRType = 0x0722,
  kxErr_parserGenerateNotSupported = 0x0723,
  kxErr_parserIncludeNotSupported = 0x0724,
  kxErr_parserUnsupportedClass = 0x0725,
  kxErr_parserTooManySOARecords = 0x0726,
  kxErr_parserMissingSOARecord = 0x0727,

  kxErr_invalidEntry = 0x0801,

  kxErr_unexpectedDNSData = 0x0901,
  kxErr_truncatedAnswer = 0x0902,
  kxErr_badQueryFormat = 0x0903,
  kxErr_serverFailure = 0x0904,
  kxErr_NXDomain = 0x0905,
  kxErr_notImplemented = 0x0906,
  kxErr_serverRefused = 0x0907,

  kxErr_unknown = 0xFFFF
};

namespace orvo {

// The code's name ("kxErr_timeout"). A value that is not a code gives "0x%02X" of it
// ("0x403", "0x05"), written into a buffer of the calling thread that stays valid until
// that thread's next call for such a value.
const char* kxErrName(kxErr inError);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::kxErrName;
#endif
