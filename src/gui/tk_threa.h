// Holder of one worker thread of the wizard. A holder derived for a purpose supplies the task in
// make_task; start runs the task's operator() on a new thread. Misuse (starting while a thread
// runs, a holder without a task) is an internal error. Window thread only; the task itself
// runs on the worker.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

class tk_task {
public:
    virtual ~tk_task() = default;
    virtual void operator()() = 0;
};

class tk_thread {
public:
    tk_thread() = default;
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    void start();
    bool is_running() const;
    // Forgets a finished thread and, when owned, its task.
    void clean_up();
    // Waits for the thread to end and cleans up. The task must have been asked to stop first:
    // a thread is never killed.
    void terminate();

protected:
    // The task to run and whether the holder owns it (a task not owned outlives the holder).
    virtual tk_task* make_task(bool& owns) = 0;

private:
    std::thread thread_;
    std::atomic<bool> running_{false};
    tk_task* task_ = nullptr;
    bool owns_task_ = false;
};
