#include "tk/tk_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <vector>

#include <unicode/ustring.h>

tk_log::tk_log(std::string file_name, bool enabled, int threshold, bool time_stamp)
    : file_name_(std::move(file_name)), threshold_(threshold), enabled_(enabled),
      time_stamp_(time_stamp) {
    if (enabled_) empty_file();
}

tk_log::~tk_log() { close_file(); }

void tk_log::set_file_name(const char* file_name) {
    if (file_name == nullptr) throw tk_mail_assertion("tk_log", 82);
    close_file();
    file_name_ = file_name;
}

void tk_log::empty_file() {
    close_file();
    int fd = ::open(file_name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
    emptied_ = true;
}

void tk_log::close_file() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void tk_log::write_line(std::string_view text) {
    if (fd_ < 0) {
        fd_ = ::open(file_name_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0) return;  // a trace that cannot be written is not an error
    }
    std::string line;
    line.reserve(text.size() + 12);
    if (time_stamp_) {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", local.tm_hour, local.tm_min,
                      local.tm_sec);
        line += stamp;
    }
    line += text;
    if (line_break_) line += "\r\n";
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

void tk_trace_write(int /*level*/, const char* format, ...) noexcept {
    tk_log* log = tk_log::peek_instance();
    if (log == nullptr) return;
    char small[512];
    va_list args;
    va_start(args, format);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) return;
    try {
        if (static_cast<size_t>(needed) < sizeof small) {
            log->write_line(std::string_view(small, static_cast<size_t>(needed)));
            return;
        }
        std::vector<char> large(static_cast<size_t>(needed) + 1);
        va_start(args, format);
        std::vsnprintf(large.data(), large.size(), format, args);
        va_end(args);
        log->write_line(std::string_view(large.data(), static_cast<size_t>(needed)));
    } catch (...) {
        // Tracing never fails the traced operation.
    }
}

std::string tk_trace_utf8(std::u16string_view text) noexcept {
    try {
        std::string out(text.size() * 3, '\0');
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                           reinterpret_cast<const UChar*>(text.data()),
                           static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
        if (U_FAILURE(status)) return std::string();
        out.resize(static_cast<size_t>(length));
        return out;
    } catch (...) {
        return std::string();
    }
}

void tk_trace_assertion_noexcept(const char* source, int line) noexcept {
    TK_TRACE(2, "tk_mail_assertion::ctor(%s) at %s", source,
             tk_mail_assertion::encode_location(source, line).c_str());
}
