#include "common/console_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "tk/tk_utils.h"

namespace {

constexpr auto k_redraw_period = std::chrono::milliseconds(100);
// Records between two looks at the clock.
constexpr int32_t k_check_interval = 64;

size_t terminal_width() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Number of characters of UTF-8 text (continuation bytes do not count).
size_t char_count(std::string_view text) {
    size_t count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

// The first `chars` characters of UTF-8 text.
std::string_view cut_chars(std::string_view text, size_t chars) {
    size_t pos = 0, count = 0;
    while (pos < text.size()) {
        if ((static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80 && count++ == chars) break;
        ++pos;
    }
    return text.substr(0, pos);
}

std::string format_duration(double seconds) {
    long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

void write_stderr(const std::string& text) {
    // Standard error is unbuffered; one call keeps the line whole.
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

console_progress::console_progress(bool enabled) : enabled_(enabled) {}

console_progress::~console_progress() {
    clear();
}

bool console_progress::stderr_is_terminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

std::string console_progress::format_line(std::string_view table, int32_t done, int32_t total,
                                          double seconds, size_t width) {
    std::string figures = ": " + std::to_string(done) + " of " + std::to_string(total) + " records";
    if (seconds > 0 && done > 0) {
        double rate = done / seconds;
        figures += ", " + std::to_string(static_cast<long long>(rate + 0.5)) + " records/s";
        if (total > done) figures += ", " + format_duration((total - done) / rate) + " left";
    }
    size_t figures_chars = figures.size();
    if (figures_chars >= width) return std::string(cut_chars(figures, width));
    size_t room = width - figures_chars;
    std::string line;
    if (char_count(table) <= room) {
        line = table;
    } else if (room > 3) {
        line = std::string(cut_chars(table, room - 3)) + "...";
    } else {
        line = std::string(cut_chars(table, room));
    }
    return line + figures;
}

void console_progress::start(const std::u16string& table, int32_t total) {
    if (!enabled_) return;
    clear();
    table_ = tk_to_ansi_lenient(table);
    total_ = total;
    next_check_ = 0;
    started_ = std::chrono::steady_clock::now();
    // The first line comes after a short while: small tables never show one.
    next_draw_ = started_ + k_redraw_period;
}

void console_progress::check_clock(int32_t done) {
    next_check_ = done + k_check_interval;
    auto now = std::chrono::steady_clock::now();
    if (now < next_draw_) return;
    next_draw_ = now + k_redraw_period;
    double seconds = std::chrono::duration<double>(now - started_).count();
    // The last column stays free so that the terminal never wraps the line.
    std::string line = "\r";
    line += format_line(table_, done, total_, seconds, terminal_width() - 1);
    line += "\x1b[K";
    write_stderr(line);
    shown_ = true;
}

void console_progress::clear() {
    if (!shown_) return;
    write_stderr("\r\x1b[K");
    shown_ = false;
}
