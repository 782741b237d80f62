// Thread message queues. Each thread's queue is registered under its id from its first use
// until the thread ends; a post finds it there and holds it by shared ownership, so a thread
// that ends meanwhile takes nothing down with it. The registry outlives every thread (it is
// never destroyed), so threads that end during process exit can still leave it.
#include <memory>
#include <unordered_map>

#include "orvo/platform/kxplatformthread.h"
#include "orvo/platform/kxthreadmessages.h"
#include "orvo/platform/posix/waitable.h"

namespace orvo::platform {
namespace posix {
namespace {

struct QueueRegistry {
  std::mutex itsLock;
  std::unordered_map<uint32_t, std::shared_ptr<MessageQueue>> itsQueues;
};

QueueRegistry& registry() {
  static QueueRegistry* const theRegistry = new QueueRegistry;
  return *theRegistry;
}

// The calling thread's queue; leaves the registry when the thread ends.
class OwnQueue {
 public:
  MessageQueue& get() {
    if (!itsQueue) {
      itsQueue = std::make_shared<MessageQueue>();
      itsId = currentThreadId();
      QueueRegistry& queues = registry();
      std::lock_guard<std::mutex> hold(queues.itsLock);
      queues.itsQueues[itsId] = itsQueue;
    }
    return *itsQueue;
  }
  ~OwnQueue() {
    if (!itsQueue) return;
    QueueRegistry& queues = registry();
    std::lock_guard<std::mutex> hold(queues.itsLock);
    queues.itsQueues.erase(itsId);
  }

 private:
  std::shared_ptr<MessageQueue> itsQueue;
  uint32_t itsId = 0;
};

thread_local OwnQueue tOwnQueue;

}  // namespace

MessageQueue& currentMessageQueue() { return tOwnQueue.get(); }

bool MessageQueue::post(const ThreadMessage& inMessage) {
  std::lock_guard<std::mutex> hold(itsLock);
  if (itsMessages.size() >= kMaxQueuedMessages) return false;
  itsMessages.push_back(inMessage);
  if (itsWaiter != nullptr) itsWaiter->fire(this);
  return true;
}

bool MessageQueue::take(ThreadMessage& outMessage) {
  std::lock_guard<std::mutex> hold(itsLock);
  if (itsMessages.empty()) return false;
  outMessage = itsMessages.front();
  itsMessages.pop_front();
  return true;
}

void MessageQueue::clear() {
  std::lock_guard<std::mutex> hold(itsLock);
  itsMessages.clear();
}

void MessageQueue::discard(uint32_t inMessage) {
  std::lock_guard<std::mutex> hold(itsLock);
  std::erase_if(itsMessages, [inMessage](const ThreadMessage& inQueued) { return inQueued.message == inMessage; });
}

void MessageQueue::attach(Waiter* inWaiter) {
  std::lock_guard<std::mutex> hold(itsLock);
  itsWaiter = inWaiter;
  if (!itsMessages.empty()) inWaiter->fire(this);
}

void MessageQueue::detach() {
  std::lock_guard<std::mutex> hold(itsLock);
  itsWaiter = nullptr;
}

}  // namespace posix

bool postThreadMessage(uint32_t inThreadId, const ThreadMessage& inMessage) {
  std::shared_ptr<posix::MessageQueue> queue;
  {
    posix::QueueRegistry& queues = posix::registry();
    std::lock_guard<std::mutex> hold(queues.itsLock);
    const auto found = queues.itsQueues.find(inThreadId);
    if (found == queues.itsQueues.end()) return false;
    queue = found->second;
  }
  return queue->post(inMessage);
}

bool peekThreadMessage(ThreadMessage& outMessage) { return posix::currentMessageQueue().take(outMessage); }

void discardThreadMessages() { posix::currentMessageQueue().clear(); }

void discardThreadMessages(uint32_t inMessage) { posix::currentMessageQueue().discard(inMessage); }

bool postWindowMessage(WindowHandle, const ThreadMessage&) { return false; }

}  // namespace orvo::platform
