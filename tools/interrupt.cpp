#include "tools/interrupt.h"

#include <pthread.h>
#include <unistd.h>

namespace devidoriv::tool {

InterruptWatch::InterruptWatch() {
  sigemptyset(&watched_);
  sigaddset(&watched_, SIGINT);
  sigaddset(&watched_, SIGTERM);
  sigaddset(&watched_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &watched_, &previous_);
  thread_ = std::thread(&InterruptWatch::Wait, this);
}

InterruptWatch::~InterruptWatch() {
  // The watching thread takes a signal aimed at it as the word to end.
  stopping_ = true;
  pthread_kill(thread_.native_handle(), SIGHUP);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void InterruptWatch::SetAction(std::function<void(int)> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  action_ = std::move(action);
  if (signal_ != 0 && action_) action_(signal_);
}

void InterruptWatch::Wait() {
  for (;;) {
    int number = 0;
    if (sigwait(&watched_, &number) != 0) continue;
    if (stopping_) return;
    // A second signal while the first is being seen to: the user will not
    // wait for the frames in flight.
    if (signal_.exchange(number) != 0) _exit(128 + number);
    std::lock_guard<std::mutex> lock(mutex_);
    if (action_) action_(number);
  }
}

}  // namespace devidoriv::tool
