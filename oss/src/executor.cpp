#include "oss/executor.h"

#include <exception>
#include <vector>

#include "oss/log.h"

namespace oss {

namespace {

constexpr char kTag[] = "ThreadExecutor";

void RunTask(std::unique_ptr<Runnable> task) {
    const void* address = task.get();
    if (LogEnabled(SdkLogLevel::Debug)) {
        LogWrite(SdkLogLevel::Debug, kTag, "task(%p) enter execute main thread", address);
    }
    try {
        task->Run();
    } catch (const std::exception& error) {
        if (LogEnabled(SdkLogLevel::Error)) {
            LogWrite(SdkLogLevel::Error, kTag, "task(%p) failed: %s", address, error.what());
        }
    } catch (...) {
        if (LogEnabled(SdkLogLevel::Error)) {
            LogWrite(SdkLogLevel::Error, kTag, "task(%p) failed", address);
        }
    }
    task.reset();
    if (LogEnabled(SdkLogLevel::Debug)) {
        LogWrite(SdkLogLevel::Debug, kTag, "task(%p) leave execute main thread", address);
    }
}

}  // namespace

void ThreadExecutor::Execute(std::unique_ptr<Runnable> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        return;
    }
    // The thread owns the task from here; it removes its own entry when done, which waits for
    // this lock, so the entry is always there by then.
    std::thread thread([this, task = std::move(task)]() mutable {
        RunTask(std::move(task));
        Finished(std::this_thread::get_id());
    });
    const std::thread::id id = thread.get_id();
    threads_.emplace(id, std::move(thread));
}

void ThreadExecutor::Finished(std::thread::id id) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = threads_.find(id);
    if (it != threads_.end()) {
        it->second.detach();
        threads_.erase(it);
    }
}

ThreadExecutor::~ThreadExecutor() {
    std::vector<std::thread> running;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (auto& [id, thread] : threads_) {
            running.push_back(std::move(thread));
        }
        threads_.clear();
    }
    for (std::thread& thread : running) {
        thread.join();
    }
}

}  // namespace oss
