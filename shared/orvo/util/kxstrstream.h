// kxStrStream: an in-memory text stream for reading and writing that owns its buffer.
//
// The buffer is released with the stream, also after its text was taken with str(), which
// hands out a copy; callers keep that copy and never free anything themselves.
#pragma once

#include <sstream>
#include <string>

class kxStrStream : public std::stringstream {
 public:
  kxStrStream() = default;
  explicit kxStrStream(const std::string& inText) : std::stringstream(inText) {}
};
