#include "common/init_conv.h"

#include <ctime>

#include "tk/tk_log.h"

namespace {

// "Conversion started on dd/mm/yyyy at hh:mm:ss" (or "ended"), in local time.
void trace_local_time(const char* event) {
    if (!tk_trace_on(3)) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    tk_trace_write(3, "Conversion %s on %02d/%02d/%04d at %02d:%02d:%02d\n", event, local.tm_mday,
                   local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                   local.tm_sec);
}

}  // namespace

init_conversion::init_conversion(std::atomic<bool>* finished, bool /*initialised*/)
    : finished_(finished) {
    TK_TRACE(2, "init_conversion::ctor");
    trace_local_time("started");
    // A run that starts is not finished, also when an earlier run on the same converter was.
    if (finished_ != nullptr) *finished_ = false;
}

init_conversion::~init_conversion() {
    TK_TRACE(2, "init_conversion::dtor");
    trace_local_time("ended");
    if (finished_ != nullptr) *finished_ = true;
}
