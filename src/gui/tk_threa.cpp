#include "gui/tk_threa.h"

#include "tk/tk_errco.h"
#include "tk/tk_log.h"

tk_thread::~tk_thread() {
    try {
        if (is_running())
            terminate();
        else
            clean_up();
    } catch (const std::exception&) {
        tk_trace_assertion_noexcept("tk_threa", 41);
    }
}

void tk_thread::start() {
    if (is_running()) throw tk_mail_assertion("tk_threa", 58);
    clean_up();
    if (task_ != nullptr) throw tk_mail_assertion("tk_threa", 61);
    bool owns = false;
    tk_task* task = make_task(owns);
    if (task == nullptr) throw tk_mail_assertion("tk_threa", 65);
    task_ = task;
    owns_task_ = owns;
    running_ = true;
    thread_ = std::thread([this, task] {
        (*task)();
        running_ = false;
    });
}

bool tk_thread::is_running() const { return thread_.joinable() && running_; }

void tk_thread::clean_up() {
    if (is_running()) throw tk_mail_assertion("tk_threa", 88);
    if (thread_.joinable()) thread_.join();
    if (owns_task_) delete task_;
    task_ = nullptr;
    owns_task_ = false;
}

void tk_thread::terminate() {
    if (!is_running()) throw tk_mail_assertion("tk_threa", 100);
    thread_.join();
    running_ = false;
    clean_up();
}
