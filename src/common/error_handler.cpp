#include "common/error_handler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tk/tk_log.h"
#include "tk/tk_utils.h"

error_handler::error_handler(int count, const tk_error_pair* table) : messages_(count, table) {
    TK_TRACE(2, "error_handler::ctor");
}

error_handler::~error_handler() = default;

void error_handler::load_err_map(int count, const tk_error_pair* table) {
    TK_TRACE(2, "error_handler::load_err_map");
    messages_.load_map(count, table);
}

void error_handler::set_context(const std::u16string& table_name) {
    context_ = tk_to_ansi_lenient(table_name);
}

void error_handler::set_context(const std::u16string& table_name, int32_t record_number) {
    context_ = tk_to_ansi_lenient(table_name) + ", record #" + std::to_string(record_number);
}

std::string error_handler::build_message(const tk_exception& e) const {
    std::string message;
    if (!context_.empty()) message = context_ + ": ";
    std::string friendly = messages_.convert(e.code());
    message += friendly.empty() ? std::string(e.what()) : friendly;
    return message;
}

void error_handler::handle(const tk_exception& e, int /*stop*/) {
    TK_TRACE(2, "error_handler::handle");
    if (e.level() == 2) {
        TK_TRACE(3, "Internal error:\n%s", e.what());
        std::printf("Internal error: %s\n", e.what());
        std::fflush(stdout);
        std::exit(-1);
    }

    std::string message = build_message(e);
    TK_TRACE(3, "Error:\n%s", message.c_str());
    std::replace(message.begin(), message.end(), '\n', ' ');
    if (!silent_) {
        std::fputs("Error:\n", stdout);
        std::fflush(stdout);
        std::printf("%s\n", message.c_str());
        std::fflush(stdout);
    }

    if (e.level() == 1) {
        TK_TRACE(1, "Got 1-level error");
        std::exit(-1);
    }
    TK_TRACE(1, "Got 0-level error");
}
