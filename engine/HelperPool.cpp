#include "engine/HelperPool.h"

#include <algorithm>

namespace engine {

HelperPool::HelperPool(int helpers) {
  for (int i = 0; i < std::max(1, helpers); ++i)
    threads_.emplace_back([this](std::stop_token stop) { Serve(stop); });
}

HelperPool::~HelperPool() {
  for (std::jthread& thread : threads_) thread.request_stop();
  threads_.clear();
}

std::future<void> HelperPool::Hand(std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  std::future<void> done = task.get_future();
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(task));
  }
  changed_.notify_one();
  return done;
}

void HelperPool::Serve(std::stop_token stop) {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::unique_lock lock(mutex_);
      // A stop wakes the wait; work still queued then is not begun.
      changed_.wait(lock, stop, [&] { return !queue_.empty(); });
      if (stop.stop_requested()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
}

}  // namespace engine
