#include "common/tk_converter.h"

#include <chrono>
#include <thread>

#include "tk/tk_errco.h"
#include "tk/tk_fname.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
// tk_is_file_exist's access value for "exists and can be read".
constexpr int k_access_exists = 0x4000;
}  // namespace

tk_converter::tk_converter() { TK_TRACE(2, "tk_converter::ctor"); }

tk_converter::~tk_converter() = default;

void tk_converter::run() {
    while (!ready()) idle();
    work();
}

bool tk_converter::ready() { return false; }

void tk_converter::idle() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

void tk_converter::work() {}

void tk_converter::set_silent(bool silent) { silent_ = silent; }

void tk_converter::set_logfile(const std::string& path) {
    TK_TRACE(1, "tk_convertor::set_logfile(%s)", path.c_str());
    if (!path.empty()) {
        if (tk_is_file_exist(path, k_access_exists) && !tk_is_file_exist(path, 1))
            throw tk_exception("Logfile name specifies an existing read-only file.", 1);
        if (!tk_is_path_exist(tk_fname(path).get_folder()))
            throw tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.",
                               1);
    }
    log_file_name_ = path;
    if (path.empty()) return;
    // The wizard has no trace log; there the name is only remembered.
    if (tk_log* log = tk_log::peek_instance()) {
        log->set_file_name(path.c_str());
        log->set_enabled(true);
    }
}
