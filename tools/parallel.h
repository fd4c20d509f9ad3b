// Many files on all cores: tasks run on a pool of threads, their results
// are handed on in input order, each as soon as every earlier one was.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <algorithm>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace CLI {
class App;
}

namespace zel_tool {

// The number of cores (at least 1): the default of -j.
int default_jobs();

// Adds -j/--jobs to a subcommand.
void add_jobs_option(CLI::App *sub, int &jobs);

// Runs task(i) for every i below count on up to jobs threads and calls
// emit(i, result, error) on the calling thread in the order of i: result
// holds the task's value, or error the exception it threw. Tasks never run
// more than 2 x jobs ahead of the result being emitted, so memory is
// bounded by the results in flight. emit must not throw.
template <typename R>
void run_ordered(size_t count, int jobs, const std::function<R(size_t)> &task,
                 const std::function<void(size_t, std::optional<R> &, std::exception_ptr)> &emit) {
  struct Slot {
    std::optional<R> result;
    std::exception_ptr error;
    bool done = false;
  };
  const auto run = [&](size_t i, Slot &slot) {
    try {
      slot.result.emplace(task(i));
    } catch (...) { slot.error = std::current_exception(); }
  };
  const size_t workers = std::min(count, static_cast<size_t>(jobs < 1 ? 1 : jobs));
  if (workers <= 1) {
    for (size_t i = 0; i < count; ++i) {
      Slot slot;
      run(i, slot);
      emit(i, slot.result, slot.error);
    }
    return;
  }
  std::vector<Slot> slots(count);
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0, emitted = 0;
  const size_t ahead = 2 * workers;
  auto work = [&] {
    for (;;) {
      size_t i;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return next >= count || next < emitted + ahead; });
        if (next >= count) return;
        i = next++;
      }
      Slot slot;
      run(i, slot);
      std::lock_guard<std::mutex> lock(mutex);
      slots[i].result = std::move(slot.result);
      slots[i].error = slot.error;
      slots[i].done = true;
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (size_t w = 0; w < workers; ++w) pool.emplace_back(work);
  for (size_t i = 0; i < count; ++i) {
    Slot slot;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return slots[i].done; });
      slot = std::move(slots[i]);
      slots[i] = Slot{};
      emitted = i + 1;
      changed.notify_all();
    }
    emit(i, slot.result, slot.error);
  }
  for (std::thread &t : pool) t.join();
}

} // namespace zel_tool
