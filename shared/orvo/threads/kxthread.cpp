#include "orvo/threads/kxthread.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <optional>
#include <typeinfo>
#include <utility>

#include "orvo/debug/kxassert.h"
#include "orvo/debug/kxtrace.h"
#include "orvo/internal/kxglobals.h"
#include "orvo/messages/kxexception.h"
#include "orvo/platform/kxthreadmessages.h"

using orvo::globals::gMainThread;
using orvo::globals::gThreadRegistry;

#define KX_SUPPORT "  Please notify Tervane Technical Support at support@tervane.example."
const char* const kxInternalErrorText = "An internal error occurred." KX_SUPPORT;
const char* const kxUnspecifiedErrorText = "An unspecified error \"$e\" occurred." KX_SUPPORT;
const char* const kxUnexpectedExceptionText = "An unexpected exception \"$e\" occurred." KX_SUPPORT;
const char* const kxMemoryExhaustedText = "Could not perform operation because available memory is exhausted.";
#undef KX_SUPPORT

// What a started thread and its object share. The thread takes its object from here, and
// kill() gives up on the thread here; whichever side decides first decides for both.
struct kxThreadLink {
  explicit kxThreadLink(kxThread* inObject) : itsObject(inObject) {}

  std::mutex itsLock;
  std::condition_variable itsChanged;
  kxThread* const itsObject;
  // All guarded by itsLock.
  bool itsEntered = false;    // the thread took its object
  bool itsReleased = false;   // run() let go of the object
  bool itsFinishing = false;  // past run(): the thread completes with its object
  bool itsDone = false;       // the thread touches the object no more
  bool itsAbandoned = false;  // kill() gave up on the thread
};

namespace {

constexpr uint32_t kPumpMessage = 0x500;
constexpr int32_t kKillGrace = 250;

// The link of the run on the calling thread, for releaseObject().
thread_local kxThreadLink* tLink = nullptr;

}  // namespace

namespace orvo {

kxErrorMessage errorMessageFromException(const std::exception& inException) {
  if (const auto* thrown = dynamic_cast<const kxException*>(&inException)) {
    kxErrorMessage message = thrown->errorMessage;
    if (message.getRef() == kxMessage::kLiteralRef && message.getLiteralText() == kxUnspecifiedErrorText &&
        !message.hasParam('e'))
      message.addParam('e', static_cast<uint32_t>(message.getErrorValue()));
    return message;
  }
  if (dynamic_cast<const std::bad_alloc*>(&inException) != nullptr)
    return kxErrorMessage(kxErr_memFull, kxMemoryExhaustedText);
  return kxErrorMessage(kxErr_internal, kxUnexpectedExceptionText, 'e', inException.what());
}

}  // namespace orvo

kxThread::kxThread() : kxThread(nullptr) {
  gMainThread.registerMainThread();
  itsParent = getCurrentThread();
  if (itsParent != nullptr) itsParent->addChild(this);
}

kxThread::kxThread(kxThread* inParent)
    : itsParent(inParent),
      itsThreadID(0),
      itsThreadState(starting),
      itsStopValue(0),
      itsTimer(1),
      itsHandle(nullptr) {
  if (itsParent != nullptr) itsParent->addChild(this);
}

kxThread::~kxThread() {
  {
    kxStMutex hold(&gThreadRegistry.itsLock);
    const int32_t state = itsThreadState.load();
    kxAssertAs((state == starting) || (state == stopped), "(itsThreadState == starting) || (itsThreadState == stopped)");
  }
  letGoOfRun();
  {
    kxStMutex hold(&gThreadRegistry.itsLock);
    KX_TRACE(2, "kxThread::~kxThread - done threadId = 0x%lX", static_cast<unsigned long>(itsThreadID.load()));
    if (itsParent != nullptr) itsParent->removeChild(this);
  }
  // Outside the registry lock: closing an ended thread joins it, and its last thread-local
  // destructors may still ask the registry.
  orvo::platform::closeThread(takeHandle());
}

void kxThread::letGoOfRun() {
  if (!itsLink) return;
  kxThreadLink& link = *itsLink;
  std::unique_lock<std::mutex> hold(link.itsLock);
  const auto usesObject = [&link] { return link.itsEntered && !link.itsReleased && !link.itsDone; };
  // A run that deletes its own object cannot be waited for; it is told to touch it no more.
  if (usesObject() && getCurrentThreadID() != itsThreadID.load()) {
    KX_TRACE(1, "kxThread - thread 0x%lX still uses its object; waiting for it to let go",
             static_cast<unsigned long>(itsThreadID.load()));
    link.itsChanged.wait(hold, [&usesObject] { return !usesObject(); });
  }
  // Past its run, it completes with its object: that ends soon. Otherwise it is told to
  // leave the object alone, should it still come to it.
  if (!link.itsFinishing) link.itsAbandoned = true;
  link.itsChanged.wait(hold, [&link] { return link.itsDone || !link.itsFinishing; });
}

orvo::platform::Thread* kxThread::takeHandle() {
  std::lock_guard<std::mutex> hold(itsHandleLock);
  return std::exchange(itsHandle, nullptr);
}

void kxThread::start() {
  letGoOfRun();
  orvo::platform::closeThread(takeHandle());
  getStopEvent().reset();
  getDoneEvent().reset();
  if (!canStart()) return;

  auto link = std::make_shared<kxThreadLink>(this);
  auto forThread = std::make_unique<std::shared_ptr<kxThreadLink>>(link);
  uint32_t id = 0;
  orvo::platform::Thread* const handle = orvo::platform::createSuspendedThread(threadEntry, forThread.get(), id);
  if (handle == nullptr) throw std::bad_alloc();
  forThread.release();  // the new thread's now
  const int32_t previous = itsThreadState.load();
  try {
    // A handle is as wide as a pointer, wider than long on 64-bit Windows.
    KX_TRACE(2, "kxThread::start started thread handle = 0x%llX",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    kxStMutex hold(&gThreadRegistry.itsLock);
    // No longer stopped, so that a thread started again is registered like a new one.
    itsThreadState = starting;
    registerThread(id, this);
  } catch (...) {
    // Never to run on this object: once let go, the thread finds itself given up on and ends.
    {
      kxStMutex hold(&gThreadRegistry.itsLock);
      itsThreadState = previous;
    }
    {
      std::lock_guard<std::mutex> hold(link->itsLock);
      link->itsAbandoned = true;
    }
    orvo::platform::closeThread(handle);
    throw;
  }
  itsLink = std::move(link);
  itsThreadID = id;
  {
    std::lock_guard<std::mutex> hold(itsHandleLock);
    itsHandle = handle;
  }
  setState(running);
  orvo::platform::resumeThread(handle);
}

uint32_t kxThread::threadEntry(void* inLink) {
  std::shared_ptr<kxThreadLink> link;
  {
    const std::unique_ptr<std::shared_ptr<kxThreadLink>> handed(static_cast<std::shared_ptr<kxThreadLink>*>(inLink));
    link = std::move(*handed);
  }
  kxThread* theThreadObj = nullptr;
  {
    std::lock_guard<std::mutex> hold(link->itsLock);
    if (link->itsAbandoned) {
      // Given up on before it began: the object is not this thread's to touch.
      link->itsDone = true;
      link->itsChanged.notify_all();
      return 0;
    }
    link->itsEntered = true;
    theThreadObj = link->itsObject;
  }
  kxAssert(theThreadObj);
  seedRandom(theThreadObj);
  tLink = link.get();
  theThreadObj->executeRunMethod(*link);
  tLink = nullptr;

  std::lock_guard<std::mutex> hold(link->itsLock);
  link->itsDone = true;
  link->itsChanged.notify_all();
  return 0;
}

void kxThread::seedRandom(const kxThread* inObject) {
  orvo::platform::seedThreadRandom(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(inObject)));
  orvo::platform::seedThreadRandom(orvo::platform::threadRandom() ^ kxTimer::getTickCount());
}

void kxThread::executeRunMethod(kxThreadLink& inLink) {
  itsTimer.start();
  KX_TRACE(2, "kxThread::executeRunMethod - starting threadId = 0x%lX, total number of threads = %ld",
           static_cast<unsigned long>(getCurrentThreadID()), static_cast<long>(gThreadRegistry.itsRegistrations.load()));
  std::exception_ptr failure;
  bool unknownFailure = false;
  try {
    preRun();
    run();
  } catch (const std::exception&) {
    failure = std::current_exception();
  } catch (...) {
    unknownFailure = true;
  }
  {
    std::lock_guard<std::mutex> hold(inLink.itsLock);
    // Given up on while it ran: kill() has reported the thread stopped, and the object may
    // be gone.
    if (inLink.itsAbandoned) return;
    inLink.itsFinishing = true;
    inLink.itsChanged.notify_all();
  }
  if (failure || unknownFailure) recordFailure(failure);
  try {
    postRun();
  } catch (...) {
    reportUnhandled();
    return;
  }
  KX_TRACE(2, "kxThread::executeRunMethod - done threadId = 0x%lX", static_cast<unsigned long>(itsThreadID.load()));
  setState(stopped);
}

void kxThread::recordFailure(const std::exception_ptr& inFailure) {
  try {
    if (inFailure) std::rethrow_exception(inFailure);
    reportUnhandled();
    handleException(kxException(kxErr_internal, kxInternalErrorText));
  } catch (const std::exception& inException) {
    try {
      handleException(inException);
    } catch (...) {
      reportUnhandled();
    }
  } catch (...) {
    reportUnhandled();
  }
}

void kxThread::reportUnhandled() {
  KX_TRACE(1, "kxThread::executeRunMethod - unhandled exception threadId = 0x%lX threadName = \"%s\"",
           static_cast<unsigned long>(itsThreadID.load()), itsThreadName.c_str());
  kxAssert(false);
}

void kxThread::handleException(const std::exception& inException) {
  kxAssert((itsErrorMessage.getErrorValue() == kxErr_noError) || ((typeid(inException) == typeid(kxException)) && (dynamic_cast<const kxException&>(inException)).errorMessage.getErrorValue() == itsErrorMessage.getErrorValue()));
  itsErrorMessage = errorMessageFromException(inException);
}

void kxThread::releaseObject() {
  kxThreadLink* const link = tLink;
  if (link == nullptr) return;
  std::lock_guard<std::mutex> hold(link->itsLock);
  link->itsReleased = true;
  link->itsChanged.notify_all();
}

void kxThread::stop(int32_t inValue) {
  if (!isRunning()) return;
  resume();
  itsStopValue = inValue;
  getStopEvent().set();
}

kxSingleEvent& kxThread::getStopEvent() { return itsStopEvent; }
const kxSingleEvent& kxThread::getStopEvent() const { return itsStopEvent; }
kxSingleEvent& kxThread::getDoneEvent() { return itsDoneEvent; }
const kxSingleEvent& kxThread::getDoneEvent() const { return itsDoneEvent; }

void kxThread::kill() {
  stop(0);
  // On the thread itself there is nothing to wait for.
  if (!isRunning() || getCurrentThreadID() == itsThreadID.load()) return;
  orvo::platform::Thread* handle;
  std::optional<orvo::platform::HeldWaitable> end;
  {
    std::lock_guard<std::mutex> hold(itsHandleLock);
    handle = itsHandle;
    if (handle == nullptr) return;
    end.emplace(orvo::platform::threadEnd(handle));
  }
  bool released;
  {
    std::lock_guard<std::mutex> hold(itsLink->itsLock);
    released = itsLink->itsReleased;
  }
  // A run that has let go of its object risks nothing when it is given up on at once.
  const int32_t grace = released ? 0 : kKillGrace;
  orvo::platform::Waitable* const waited = end->get();
  if (waited != nullptr) orvo::platform::waitForAny(&waited, 1, grace);
  if (!orvo::platform::isSignalled(waited)) {
    bool stillUsed;
    {
      std::lock_guard<std::mutex> hold(itsLink->itsLock);
      kxThreadLink& link = *itsLink;
      if (!link.itsFinishing && !link.itsDone) link.itsAbandoned = true;
      stillUsed = (link.itsEntered && !link.itsReleased && !link.itsDone) || (link.itsFinishing && !link.itsDone);
    }
    KX_TRACE(1, "kxThread::kill - thread 0x%lX did not stop within %i ms; left to finish on its own%s",
             static_cast<unsigned long>(itsThreadID.load()), static_cast<int>(grace),
             stillUsed ? " (it still uses its object, which must stay until it lets go)" : "");
    {
      std::lock_guard<std::mutex> hold(itsHandleLock);
      if (itsHandle != handle) handle = nullptr;  // someone else closed it meanwhile
      itsHandle = nullptr;
    }
    orvo::platform::closeThread(handle);
  }
  setState(stopped);
}

bool kxThread::changeState(kxThreadState inFrom, kxThreadState inTo) {
  kxStMutex hold(&gThreadRegistry.itsLock);
  if (itsThreadState.load() != inFrom) return false;
  itsThreadState = inTo;
  return true;
}

uint32_t kxThread::suspend() {
  std::lock_guard<std::mutex> hold(itsHandleLock);
  if (itsHandle == nullptr || !changeState(running, suspended)) return 0;
  return orvo::platform::suspendThread(itsHandle);
}

void kxThread::resume() {
  std::lock_guard<std::mutex> hold(itsHandleLock);
  if (itsHandle == nullptr || !changeState(suspended, running)) return;
  orvo::platform::resumeThread(itsHandle);
}

void kxThread::join() {
  if (getCurrentThreadID() == itsThreadID.load() || isStopped()) return;
  std::optional<orvo::platform::HeldWaitable> end;
  {
    std::lock_guard<std::mutex> hold(itsHandleLock);
    if (itsHandle == nullptr) return;
    end.emplace(orvo::platform::threadEnd(itsHandle));
  }
  orvo::platform::Waitable* const waited = end->get();
  if (waited != nullptr) orvo::platform::waitForAny(&waited, 1, -1);
}

bool kxThread::isRunning() const {
  const int32_t state = itsThreadState.load();
  return state == running || state == suspended;
}

bool kxThread::isStopped() const { return itsThreadState.load() == stopped; }

kxThread::kxThreadState kxThread::getState() const { return static_cast<kxThreadState>(itsThreadState.load()); }

uint32_t kxThread::getThreadID() const { return itsThreadID.load(); }

int32_t kxThread::getStopValue() const { return itsStopValue.load(); }

orvo::platform::Waitable* kxThread::getHandle() const {
  std::lock_guard<std::mutex> hold(itsHandleLock);
  return orvo::platform::threadEnd(itsHandle);
}

void kxThread::setState(kxThreadState inState) {
  kxStMutex hold(&gThreadRegistry.itsLock);
  if (itsThreadState.load() == inState) return;
  itsThreadState = inState;
  if (inState != stopped) return;
  // Not through the virtual accessor: once the state reads stopped, the creator may already be
  // destroying the derived parts of the object (the base parts wait for the registry lock).
  itsDoneEvent.set();
  unRegisterThread(itsThreadID.load());
}

bool kxThread::canStart() { return true; }
void kxThread::preRun() {}
void kxThread::postRun() {}

void kxThread::addChild(kxThread* inChild) {
  kxStMutex hold(&itsChildrenMutex);
  itsChildren.push_back(inChild);
}

void kxThread::removeChild(kxThread* inChild) {
  kxStMutex hold(&itsChildrenMutex);
  const auto found = std::find(itsChildren.begin(), itsChildren.end(), inChild);
  if (found != itsChildren.end()) itsChildren.erase(found);
}

namespace {
std::vector<kxThread*> copyUnder(kxMemMutex& inMutex, const std::vector<kxThread*>& inList) {
  kxStMutex hold(&inMutex);
  return inList;
}
}  // namespace

void kxThread::stopChildren(int32_t inValue) {
  for (kxThread* child : copyUnder(itsChildrenMutex, itsChildren)) child->stop(inValue);
}

void kxThread::joinChildren() {
  for (kxThread* child : copyUnder(itsChildrenMutex, itsChildren)) child->join();
}

void kxThread::deleteChildren() {
  for (kxThread* child : copyUnder(itsChildrenMutex, itsChildren)) delete child;
}

uint32_t kxThread::getCurrentThreadID() {
  const uint32_t theThreadID = orvo::platform::currentThreadId();
  kxAssert(theThreadID != 0);
  return theThreadID;
}

kxThread* kxThread::findThread(uint32_t inThreadID) {
  kxStMutex hold(&gThreadRegistry.itsLock);
  const auto found = gThreadRegistry.itsThreads.find(inThreadID);
  return found != gThreadRegistry.itsThreads.end() ? found->second : nullptr;
}

size_t kxThread::getNumThreads() {
  kxStMutex hold(&gThreadRegistry.itsLock);
  return gThreadRegistry.itsThreads.size();
}

kxThread* kxThread::getCurrentThread() {
  kxThread* const result = findThread(getCurrentThreadID());
  kxAssert(result);
  return result;
}

kxThread* kxThread::getMainThread() { return &gMainThread; }

void kxThread::registerThread(uint32_t inThreadID, kxThread* inThread) {
  kxStMutex hold(&gThreadRegistry.itsLock);
  if (inThread != nullptr && inThread->isStopped()) return;
  KX_TRACE(2, "kxThread::registerThread(0x%lX, %p)", static_cast<unsigned long>(inThreadID), static_cast<void*>(inThread));
  auto& threads = gThreadRegistry.itsThreads;
  const auto found = threads.find(inThreadID);
  if (found == threads.end()) {
    threads.emplace(inThreadID, inThread);
  } else if (found->second != inThread) {
    kxAssert(false);
    found->second = inThread;
  } else {
    return;
  }
  gThreadRegistry.itsRegistrations.fetch_add(1);
}

void kxThread::unRegisterThread(uint32_t inThreadID) {
  kxStMutex hold(&gThreadRegistry.itsLock);
  KX_TRACE(2, "kxThread::unRegisterThread(0x%lX)", static_cast<unsigned long>(inThreadID));
  auto& threads = gThreadRegistry.itsThreads;
  const auto found = threads.find(inThreadID);
  if (found == threads.end()) return;
  KX_TRACE(2, "kxThread::unRegisterThread(%li, %p)", static_cast<long>(inThreadID), static_cast<void*>(found->second));
  threads.erase(found);
}

uint16_t kxThread::waitOnSockets(std::vector<selectInfo>& ioInfos, int32_t inTimeout) {
  using orvo::platform::SelectStatus;
  using orvo::platform::SocketSet;
  KX_TRACE(2, "kxThread::waitOnSockets(%i)", static_cast<int>(ioInfos.size()));
  for (selectInfo& info : ioInfos) info.readyEvents = 0;
  const kxTimer timer;
  uint16_t result = 0;
  int32_t remaining = inTimeout;
  while (result == 0) {
    SocketSet read, write, except;
    // A full set leaves further sockets out.
    for (const selectInfo& info : ioInfos) {
      if ((info.events & kSelectRead) != 0) read.add(info.socket);
      if ((info.events & kSelectWrite) != 0) write.add(info.socket);
      if ((info.events & kSelectExcept) != 0) except.add(info.socket);
    }
    const SelectStatus status = orvo::platform::selectSockets(&read, &write, &except, remaining);
    if (status == SelectStatus::timedOut) break;
    if (status == SelectStatus::failed) {
      result |= kSelectError;
      break;
    }
    if (status == SelectStatus::ready) {
      for (selectInfo& info : ioInfos) {
        if (read.contains(info.socket)) info.readyEvents |= kSelectRead;
        if (write.contains(info.socket)) info.readyEvents |= kSelectWrite;
        if (except.contains(info.socket)) info.readyEvents |= kSelectExcept;
        result |= info.readyEvents;
      }
    }
    // Interrupted, or woken with nothing asked for: go on with the time left.
    if (result == 0 && inTimeout != -1) {
      const uint32_t elapsed = timer.elapsed();
      if (elapsed >= static_cast<uint32_t>(inTimeout)) break;
      remaining = inTimeout - static_cast<int32_t>(elapsed);
    }
  }
  KX_TRACE(2, "kxThread::select(%i) error(%i) read(%i) write(%i) xcpt(%i)", result, (result & kSelectError) != 0,
           (result & kSelectRead) != 0, (result & kSelectWrite) != 0, (result & kSelectExcept) != 0);
  return result;
}

uint16_t kxThread::waitOnSocket(orvo::platform::SocketHandle inSocket, uint16_t inEvents, int32_t inTimeout) {
  std::vector<selectInfo> infos{{inSocket, inEvents, 0}};
  return waitOnSockets(infos, inTimeout);
}

namespace {
// Whether a wait's result means the event was not seen: a time-out, or a failed wait.
bool timedOut(int inResult) {
  if (inResult == orvo::platform::kWaitFailed) KX_TRACE(1, "kxThread::waitForEvent - the wait failed");
  return inResult == orvo::platform::kWaitTimedOut || inResult == orvo::platform::kWaitFailed;
}
}  // namespace

bool kxThread::waitForEvent(int32_t inTimeout, kxEvent* inEvent, uint32_t inExpectedSetCount, bool inPumpMessages) {
  if (inEvent != nullptr && inEvent->isSet()) return false;
  if (inEvent == nullptr) {
    orvo::platform::sleepFor(inTimeout);
    return true;
  }
  thread_local kxEvent::HandleList tHandles;
  tHandles.clear();
  inEvent->getHandles(tHandles);
  if (!inPumpMessages) return timedOut(orvo::platform::waitForAny(tHandles.data(), tHandles.size(), inTimeout));

  // The notifications of this wait, and any left by earlier ones, are its own business;
  // other messages stay queued for the thread (and end the wait).
  inEvent->setNotifyThread(getCurrentThreadID(), kPumpMessage, 0);
  orvo::platform::discardThreadMessages(kPumpMessage);
  int result = 0;
  if (inEvent->getSetCount() == inExpectedSetCount)
    result = orvo::platform::waitForAny(tHandles.data(), tHandles.size(), inTimeout, true);
  inEvent->setNotifyThread(0, 0, 0);
  orvo::platform::discardThreadMessages(kPumpMessage);
  return timedOut(result);
}

bool kxThread::waitForAbandonedThreads(int32_t inTimeout) { return orvo::platform::waitForDetachedThreads(inTimeout); }
