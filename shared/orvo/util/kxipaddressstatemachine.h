// kxIPAddressStateMachine: recognises an IPv4 address in dotted-quad form, optionally also
// the reverse-lookup form d.c.b.a.in-addr.arpa. or a final wildcard label "*".
//
// It only recognises; kxIPv4Address::parse turns text into a value and is stricter (it
// refuses leading zeros, which this machine takes: 007 is an octet here). The machine
// counts dots as characters pass and adds a dot-count condition to the end test. Its tables
// are constant data shared by all instances.
#pragma once

#include <cstdint>

#include "orvo/util/kxstatemachine.h"

class kxIPAddressStateMachine : public kxStateMachine {
 public:
  // The reverse form and the wildcard exclude each other.
  kxIPAddressStateMachine(bool inUnderstandArpaFormat, bool inAllowWildcard);

  bool processChar(char inChar) override;
  bool isLegalEnd() const override;

  // One to four octets so far (10, 10.1, 10.1.2, 10.1.2.3), judged by the table's legal
  // ends alone, whatever the flags.
  bool isPartialAddress() const;
  bool isArpaFormat() const;
  bool isWildcard() const;

 private:
  bool itsUnderstandArpaFormatFlag;
  bool itsAllowWildcardFlag;
  uint32_t itsNumDots = 0;
};
