// The exception family every failure of the engine travels in. tk_exception carries a message,
// a code (looked up by the error handler for a user message) and a level: 0 report and go on,
// 1 report and end the run, 2 internal error. tk_final_exception stands outside the family and
// only abandons a run quietly.
#pragma once

#include <exception>
#include <string>

class tk_exception : public std::exception {
public:
    // An empty message becomes "Unknown exception".
    tk_exception(std::string message, int level);
    explicit tk_exception(int level);
    // The wide message is converted to the locale's charset (unmappable characters become '?').
    tk_exception(const std::u16string& message, int level);
    // For the derived classes that carry a code (MySQL errors, system errors).
    tk_exception(std::string message, int code, int level);

    const char* what() const noexcept override { return message_.c_str(); }
    int code() const noexcept { return code_; }
    int level() const noexcept { return level_; }

protected:
    std::string message_;
    int code_ = 0;
    int level_ = 0;
};

// Failure of a system call: the message is the prefix followed by the system's text for errno,
// the code is errno. Without a system text the message is "Unknown exception".
class tk_exception_ex : public tk_exception {
public:
    tk_exception_ex();
    tk_exception_ex(const std::string& prefix, int level);
    // Same, for an error number the caller already holds.
    tk_exception_ex(const std::string& prefix, int level, int error_number);
};

// A broken invariant. The location (source name, backslash, line) is shown to the user only as
// lower-case hexadecimal: "Internal error: \ncode=746b5f73696e676c5c3539" for tk_singl\59.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* source, int line);
    static std::string encode_location(const char* source, int line);
};

class tk_final_exception : public std::exception {
public:
    tk_final_exception();
    const char* what() const noexcept override { return "tk_final_exception"; }
};
