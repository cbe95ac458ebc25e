// The live progress line of the console agent: while a table is being copied and standard error
// is a terminal, one line there shows the records done of the total, the rate and the time left;
// it is erased when the table ends or before anything else is printed. With standard error
// redirected (or --silent) nothing is written at all. Used by the thread that runs the
// conversion; costs one comparison per record between redraws.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

class console_progress {
public:
    // `enabled` false: every call does nothing.
    explicit console_progress(bool enabled);
    ~console_progress();

    console_progress(const console_progress&) = delete;
    console_progress& operator=(const console_progress&) = delete;

    // Whether standard error is a terminal.
    static bool stderr_is_terminal();

    // A table of `total` records starts (nothing is drawn yet).
    void start(const std::u16string& table, int32_t total);
    // `done` records are handled; redraws at most ten times a second.
    void update(int32_t done) {
        if (enabled_ && done >= next_check_) check_clock(done);
    }
    // Erases the line when it is shown (before other output, and when the table ends).
    void clear();

    // The text of the line, e.g. "orders: 1200 of 5000 records, 400 records/s, 0:09 left",
    // at most `width` characters (the table name is cut first).
    static std::string format_line(std::string_view table, int32_t done, int32_t total,
                                   double seconds, size_t width);

private:
    void check_clock(int32_t done);

    bool enabled_;
    bool shown_ = false;
    std::string table_;
    int32_t total_ = 0;
    int32_t next_check_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point next_draw_;
};
