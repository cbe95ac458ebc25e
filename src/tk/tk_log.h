// The process-wide trace log. The console agent creates one at start-up ("debug.log"); the
// wizard creates none, and then every trace call returns at once. Lines below the threshold are
// dropped before their arguments are evaluated (TK_TRACE), so a fine trace costs nothing when
// the threshold is coarse. One descriptor opened for appending receives each line with a single
// write, which keeps the file complete up to a crash and readable while the agent runs.
#pragma once

#include <string>
#include <string_view>

#include "tk/tk_singl.h"

class tk_log : public tk_single_instance<tk_log> {
public:
    // Registers the single instance; when enabled, empties the file at once.
    tk_log(std::string file_name, bool enabled, int threshold, bool time_stamp);
    ~tk_log();

    // Replaces the file; later lines are appended to it (it is not emptied). Null: internal error.
    void set_file_name(const char* file_name);
    void set_enabled(bool enabled) { enabled_ = enabled; }
    // Lines below the threshold are dropped (1 details, 2 entries, 3 what matters most).
    void set_threshold(int threshold) { threshold_ = threshold; }

    const std::string& file_name() const { return file_name_; }
    bool enabled() const { return enabled_; }
    int threshold() const { return threshold_; }

    // Empties the file once per process; then says whether a line of this level is written.
    // Inline: every traced operation asks, also when its line is dropped.
    bool accepts(int level) {
        if (!enabled_) return false;
        if (!emptied_) empty_file();
        return level >= threshold_;
    }
    // Writes one formatted line (time stamp and line break added here).
    void write_line(std::string_view text);

private:
    void empty_file();
    void close_file() noexcept;

    std::string file_name_;
    int threshold_;
    bool line_break_ = true;
    bool enabled_;
    bool emptied_ = false;
    bool time_stamp_;
    int fd_ = -1;
};

// True when a line of this level would be written now (and empties the file the first time).
inline bool tk_trace_on(int level) noexcept {
    tk_log* log = tk_log::peek_instance();
    return log != nullptr && log->accepts(level);
}
// Formats and writes one line; use TK_TRACE, which tests the level first.
void tk_trace_write(int level, const char* format, ...) noexcept __attribute__((format(printf, 2, 3)));
// UTF-8 form of a wide text for trace arguments; never throws (bad units become U+FFFD).
std::string tk_trace_utf8(std::u16string_view text) noexcept;

#define TK_TRACE(level, ...)                                       \
    do {                                                           \
        if (tk_trace_on(level)) tk_trace_write(level, __VA_ARGS__); \
    } while (0)
// A wide text as a trace argument; only evaluated when the line is written.
#define TK_W(text) tk_trace_utf8(text).c_str()
