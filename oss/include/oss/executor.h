// Runs tasks on threads of their own, for the client's asynchronous work.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace oss {

// A callable without arguments, owned by whoever runs it.
class Runnable {
  public:
    explicit Runnable(std::function<void()> callable) : callable_(std::move(callable)) {}
    // An empty callable raises std::bad_function_call.
    void Run() const { callable_(); }

  private:
    std::function<void()> callable_;
};

class Executor {
  public:
    virtual ~Executor() = default;
    // Takes the task over and runs it.
    virtual void Execute(std::unique_ptr<Runnable> task) = 0;
};

// One new thread per task. Destruction refuses further tasks and joins the threads still
// running, so it must not happen inside one of its own tasks. A task that throws is logged and
// ends its thread, not the process.
class ThreadExecutor : public Executor {
  public:
    ThreadExecutor() = default;
    ~ThreadExecutor() override;

    ThreadExecutor(const ThreadExecutor&) = delete;
    ThreadExecutor& operator=(const ThreadExecutor&) = delete;

    // Drops the task when the executor is being destroyed. Throws std::system_error when no
    // thread can be started.
    void Execute(std::unique_ptr<Runnable> task) override;

  private:
    void Finished(std::thread::id id);

    std::mutex mutex_;  // guards everything below
    bool stopping_ = false;
    std::unordered_map<std::thread::id, std::thread> threads_;
};

}  // namespace oss
