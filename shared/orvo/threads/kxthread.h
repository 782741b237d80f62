// kxThread: the base of every worker thread. A subclass supplies run(); the base creates the
// platform thread, tracks its state, registers it under its platform id in the process-wide
// registry, keeps each thread's children, turns whatever escapes run() into a stored
// kxErrorMessage, and offers two blocking helpers: a wait on sockets and a timed wait on
// events that can include the thread's posted messages.
//
// Locking: the registry lock (process-wide) guards the registry, the registration counter,
// every thread's state changes and thread destruction; each thread's itsChildrenMutex guards
// its child list, and walks over that list work on a copy taken under it. The registry lock
// is taken before a child-list lock and before the event lock, never after.
//
// Giving up on a thread: kill() stops a thread and waits 250 ms for it to end. A thread that
// is still running then is not ended by force (a thread ended inside malloc or a resolver
// would leave their locks held for ever): it is left to finish on its own, detached, and
// reported stopped, and from then on nothing runs on it that touches the thread object, so
// the object may go at once. For that, a run() that may be given up on does its work on
// state it holds by shared ownership and calls releaseObject() as soon as it no longer
// needs its object; kill() gives up only on a thread that has let go (or not yet begun),
// and otherwise waits until it does or its run ends.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "orvo/messages/kxerrormessage.h"
#include "orvo/platform/kxplatformthread.h"
#include "orvo/platform/kxsocket.h"
#include "orvo/threads/kxmemmutex.h"
#include "orvo/threads/kxsingleevent.h"
#include "orvo/threads/kxtimer.h"

struct kxThreadLink;

class kxThread {
 public:
  enum kxThreadState : int32_t { starting = 0, running = 1, suspended = 2, stopped = 3 };

  // One socket of a waitOnSockets call.
  struct selectInfo {
    orvo::platform::SocketHandle socket;
    uint16_t events;       // kSelectRead | kSelectWrite | kSelectExcept
    uint16_t readyEvents;  // set by the call
  };
  static constexpr uint16_t kSelectError = 1;  // only in the combined result
  static constexpr uint16_t kSelectRead = 2;
  static constexpr uint16_t kSelectWrite = 4;
  static constexpr uint16_t kSelectExcept = 8;

  // The parent is the calling thread's object (which must be registered); the process's
  // main thread is registered first if it was not yet.
  kxThread();
  // With a null parent the thread belongs to no one and the main thread is left alone.
  explicit kxThread(kxThread* inParent);
  kxThread(const kxThread&) = delete;
  kxThread& operator=(const kxThread&) = delete;
  // Only before start() or once the thread has stopped (reported by an assertion
  // otherwise); it does not stop, join or unregister the thread.
  virtual ~kxThread();

  // Starts the thread; throws std::bad_alloc when the platform cannot create it.
  void start();
  // When running (or suspended): resume, remember inValue and set the stop event.
  virtual void stop(int32_t inValue);
  virtual kxSingleEvent& getStopEvent();
  virtual const kxSingleEvent& getStopEvent() const;
  virtual kxSingleEvent& getDoneEvent();
  virtual const kxSingleEvent& getDoneEvent() const;
  // stop(0), then up to 250 ms for the thread's end; a thread still running then is given
  // up on (see above). Either way the thread is stopped afterwards and its object may go.
  void kill();
  // A running thread is marked suspended and stops at its next wait (see
  // kxplatformthread.h); returns the platform's previous suspend count, 0 when not running.
  uint32_t suspend();
  void resume();
  // Waits without a time-out for the thread's end; returns at once on the thread itself.
  void join();

  bool isRunning() const;
  bool isStopped() const;
  kxThreadState getState() const;
  uint32_t getThreadID() const;
  int32_t getStopValue() const;
  const std::string& getThreadName() const { return itsThreadName; }
  kxThread* getParent() const { return itsParent; }
  // Signalled when the platform thread ends; null before start().
  orvo::platform::Waitable* getHandle() const;
  // What escaped run(); kxErr_noError until then. Read it after the done event.
  const kxErrorMessage& getErrorMessage() const { return itsErrorMessage; }

  void addChild(kxThread* inChild);
  void removeChild(kxThread* inChild);
  void stopChildren(int32_t inValue);
  void joinChildren();
  // Deletes every child object (the children must have stopped).
  void deleteChildren();

  static uint32_t getCurrentThreadID();
  static kxThread* findThread(uint32_t inThreadID);
  static size_t getNumThreads();
  // The calling thread's registered object (a thread without one is reported).
  static kxThread* getCurrentThread();
  static kxThread* getMainThread();
  static void registerThread(uint32_t inThreadID, kxThread* inThread);
  static void unRegisterThread(uint32_t inThreadID);

  // Waits until a socket is ready for one of its events, or inTimeout ms (-1: none) pass;
  // returns the ready bits of all entries ORed, 0 on time-out, kSelectError on failure. A
  // kind of readiness covers at most 64 distinct sockets; further ones are left out.
  static uint16_t waitOnSockets(std::vector<selectInfo>& ioInfos, int32_t inTimeout);
  static uint16_t waitOnSocket(orvo::platform::SocketHandle inSocket, uint16_t inEvents, int32_t inTimeout);
  // Waits for inEvent or inTimeout ms (-1: none); true when the time ran out. With
  // inPumpMessages, messages posted to the calling thread end the wait too, and so does a
  // set() that happened after the caller read inExpectedSetCount from the event.
  static bool waitForEvent(int32_t inTimeout, kxEvent* inEvent, uint32_t inExpectedSetCount, bool inPumpMessages);

  // Waits until every thread that kill() gave up on has ended, at most inTimeout ms (-1:
  // no limit); false when some still run.
  static bool waitForAbandonedThreads(int32_t inTimeout);

 protected:
  virtual bool canStart();
  // Run on the new thread before run(), and after it also when it failed.
  virtual void preRun();
  virtual void run() = 0;
  virtual void postRun();
  // Records what escaped run(); a second, different error is reported by an assertion.
  virtual void handleException(const std::exception& inException);

  // Called by run() once it no longer touches this object (see above); it acts on the
  // calling thread and reads nothing of the object.
  static void releaseObject();
  void setState(kxThreadState inState);

  std::string itsThreadName;

 private:
  friend class kxMainThread;
  static uint32_t threadEntry(void* inLink);
  // Seeds the calling thread's pseudo-random sequence from inObject's address and the tick count.
  static void seedRandom(const kxThread* inObject);
  void executeRunMethod(kxThreadLink& inLink);
  void reportUnhandled();
  // Records what escaped run() (or postRun()): inFailure, or a non-standard object.
  void recordFailure(const std::exception_ptr& inFailure);

  kxThread* itsParent;
  std::atomic<uint32_t> itsThreadID;
  std::atomic<int32_t> itsThreadState;
  std::atomic<int32_t> itsStopValue;
  kxTimer itsTimer;
  orvo::platform::Thread* itsHandle;
  kxErrorMessage itsErrorMessage;
  kxMemMutex itsChildrenMutex;
  std::vector<kxThread*> itsChildren;
  kxSingleEvent itsStopEvent;
  kxSingleEvent itsDoneEvent;
  // Shared with the platform thread of the last start().
  std::shared_ptr<kxThreadLink> itsLink;
};

// The error texts a thread stores for what escaped its run().
extern const char* const kxInternalErrorText;       // a non-standard object
extern const char* const kxUnspecifiedErrorText;    // "$e": the error value, when missing
extern const char* const kxUnexpectedExceptionText; // "$e": what()
extern const char* const kxMemoryExhaustedText;     // std::bad_alloc

namespace orvo {

// What handleException stores for an exception: a copy of a kxException's message (with the
// error value as 'e' where the unspecified-error text lacks one), kxErr_memFull for
// std::bad_alloc, kxErr_internal with the exception's what() for other standard exceptions.
kxErrorMessage errorMessageFromException(const std::exception& inException);

}  // namespace orvo

// Also at global scope, where code written before the namespace finds them;
// ORVO_NO_GLOBAL_NAMES leaves them out.
#ifndef ORVO_NO_GLOBAL_NAMES
using orvo::errorMessageFromException;
#endif
