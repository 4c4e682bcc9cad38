// Internal to the stand-in host: the locks over its process-wide state, and
// how that state outlives other libraries' static destructors. Every call of
// the stand-in is thread-safe by these locks, and none lets an exception out.
#ifndef CSSUPPORT_HOSTRT_STANDIN_LOCKS_H_
#define CSSUPPORT_HOSTRT_STANDIN_LOCKS_H_

#include <mutex>
#include <new>

namespace hostrt_standin {

// The stand-in's locks. A thread that holds more than one took them in this
// order (the logging service reads dictionaries under its lock).
std::mutex& LoggingMutex();       // the logging service
std::mutex& DictionariesMutex();  // the entries of every dictionary
std::mutex& ProductStateMutex();  // the product state

// Holds one of the locks above for the object's life. fork(2) waits until
// no other thread holds any of them, and the child starts with all of them
// free, so that a child of a multi-threaded process can call at once. The
// first Held of the process registers that with pthread_atfork(3); where it
// cannot (no memory), the next Held tries again. Any thread; never throws.
class Held {
 public:
  explicit Held(std::mutex& mutex);
  ~Held() { mutex_.unlock(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

 private:
  std::mutex& mutex_;
};

// A T made on first use and never destroyed, so that it can be used from any
// library's static destructors; its owner frees what it holds when the
// stand-in is unloaded. Allocates nothing itself.
template <typename T>
T& Lasting() {
  alignas(T) static unsigned char storage[sizeof(T)];
  static T* const object = new (storage) T;
  return *object;
}

}  // namespace hostrt_standin

#endif  // CSSUPPORT_HOSTRT_STANDIN_LOCKS_H_
