#include "tk/tk_errco.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
const char k_unknown[] = "Unknown exception";
}

tk_exception::tk_exception(std::string message, int level)
    : message_(message.empty() ? std::string(k_unknown) : std::move(message)), level_(level) {}

tk_exception::tk_exception(int level) : message_(k_unknown), level_(level) {}

tk_exception::tk_exception(const std::u16string& message, int level)
    : tk_exception(tk_to_ansi_lenient(message), level) {}

tk_exception::tk_exception(std::string message, int code, int level)
    : message_(message.empty() ? std::string(k_unknown) : std::move(message)),
      code_(code),
      level_(level) {}

tk_exception_ex::tk_exception_ex() : tk_exception_ex(std::string(), 1, errno) {}

tk_exception_ex::tk_exception_ex(const std::string& prefix, int level)
    : tk_exception_ex(prefix, level, errno) {}

tk_exception_ex::tk_exception_ex(const std::string& prefix, int level, int error_number)
    : tk_exception(k_unknown, error_number, level) {
    if (error_number == 0) return;
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not live in the buffer.
    const char* text = strerror_r(error_number, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0') return;
    message_ = prefix + text;
    TK_TRACE(2, "GetLastError: %s", text);
}

std::string tk_mail_assertion::encode_location(const char* source, int line) {
    std::string location = std::string(source ? source : "") + "\\" + std::to_string(line);
    std::string encoded;
    encoded.reserve(location.size() * 2);
    for (unsigned char c : location) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        encoded += hex;
    }
    return encoded;
}

tk_mail_assertion::tk_mail_assertion(const char* source, int line)
    : tk_exception("Internal error: \ncode=" + encode_location(source, line), 0, 2) {
    TK_TRACE(2, "tk_mail_assertion::ctor(%s)", source ? source : "");
}

tk_final_exception::tk_final_exception() { TK_TRACE(2, "tk_final_exception::ctor"); }
