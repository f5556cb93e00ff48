#include "imagelist/HeaderPool.h"

#include <exception>

namespace imagelist {

HeaderPool::HeaderPool(int threads) : threadCount_(threads < 1 ? 1 : threads) {}

HeaderPool::~HeaderPool() {
  for (std::jthread& thread : threads_) thread.request_stop();
  jobReady_.notify_all();
  threads_.clear();  // joins
}

void HeaderPool::Submit(HeaderJob job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    ++outstanding_;
    if (threads_.empty())
      for (int i = 0; i < threadCount_; ++i) threads_.emplace_back([this](std::stop_token stop) { Work(stop); });
  }
  jobReady_.notify_one();
}

std::vector<HeaderResult> HeaderPool::TakeResults() {
  std::lock_guard lock(mutex_);
  std::vector<HeaderResult> taken;
  taken.swap(results_);
  outstanding_ -= static_cast<int>(taken.size());
  return taken;
}

void HeaderPool::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return jobs_.empty() && running_ == 0; });
}

int HeaderPool::Outstanding() const {
  std::lock_guard lock(mutex_);
  return outstanding_;
}

HeaderResult HeaderPool::Run(HeaderJob job) {
  HeaderResult result;
  try {
    if (imaging::ReadImageHeader(job.path, job.extension, job.options, result.header)) result.read = true;
    else result.decode = true;
  } catch (const std::exception& e) {
    result.cause = e.what();
  } catch (...) {
    result.cause = "The header could not be read";
  }
  result.job = std::move(job);
  return result;
}

void HeaderPool::Work(std::stop_token stop) {
  for (;;) {
    HeaderJob job;
    {
      std::unique_lock lock(mutex_);
      if (!jobReady_.wait(lock, stop, [this] { return !jobs_.empty(); })) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++running_;
    }
    HeaderResult result = Run(std::move(job));
    {
      std::lock_guard lock(mutex_);
      results_.push_back(std::move(result));
    }
    if (resultReady) resultReady();
    // Idle only once the owner has been told.
    std::lock_guard lock(mutex_);
    --running_;
    if (jobs_.empty() && running_ == 0) idle_.notify_all();
  }
}

}  // namespace imagelist
