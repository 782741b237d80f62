// kxMainThread: the one object that stands for the process's main thread, so that every
// thread, the main one included, has a kxThread in the registry. It is created during static
// initialisation and running until process exit; it is registered under the id of the
// thread that creates the first kxThread (normally the main thread), never started.
#pragma once

#include "orvo/threads/kxthread.h"

class kxMainThread : public kxThread {
 public:
  kxMainThread();
  ~kxMainThread() override;

  // Registers the calling thread's id for this object, once.
  void registerMainThread();
  // Moves the registration to the calling thread (registers it when not yet registered).
  void rebindMainThread();

 protected:
  // Never started: reported by an assertion.
  void run() override;

 private:
  bool itsRegisteredFlag;  // guarded by the registry lock
};
