// A kxThread whose run() is a function given at construction, for tests.
#pragma once

#include <functional>
#include <utility>

#include "orvo/threads/kxthread.h"

namespace orvo::test {

class FunctionThread : public kxThread {
 public:
  using Body = std::function<void(FunctionThread&)>;

  explicit FunctionThread(Body inBody) : itsBody(std::move(inBody)) {}
  FunctionThread(kxThread* inParent, Body inBody) : kxThread(inParent), itsBody(std::move(inBody)) {}

  using kxThread::releaseObject;

 protected:
  void run() override { itsBody(*this); }

 private:
  Body itsBody;
};

}  // namespace orvo::test
