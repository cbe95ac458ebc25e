// Saved settings of the wizard: tk_reg_key reads and writes named values (32-bit numbers and
// texts) of one key of a per-user settings store. The toolkit holds no store of its own, so it
// stays free of any window system: a front end that keeps settings installs one at start-up
// with tk_set_reg_store (the wizard installs a QSettings file under "Ferrovane/Tarnbridge").
// Without a store every open fails and the typed transfers return false. Results are the
// platform-like codes below (0 success). Used only from the wizard's window thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

enum class tk_reg_root { none = 0, current_user = 1, local_machine = 2 };

// Result codes, numbered as the registry numbers them.
constexpr long tk_reg_ok = 0;
constexpr long tk_reg_invalid_function = 1;  // no settings store installed
constexpr long tk_reg_not_found = 2;         // no such value
constexpr long tk_reg_access_denied = 5;     // the store cannot be written or opened
constexpr long tk_reg_invalid_data = 13;     // a number read from a value that holds no number
constexpr long tk_reg_more_data = 234;       // the caller's buffer is too small

// Value types reported by the traces.
constexpr int tk_reg_type_none = 0;
constexpr int tk_reg_type_text = 1;
constexpr int tk_reg_type_number = 4;

// One opened key of a settings store. Every value is kept as text; numbers as decimal text.
class tk_reg_store {
public:
    virtual ~tk_reg_store() = default;
    virtual long query(const std::string& name, std::u16string& text) = 0;
    virtual long set(const std::string& name, const std::u16string& text) = 0;
};

// Opens or creates a key (path below its root, '\' separated); null when the store refuses.
using tk_reg_opener =
    std::function<std::unique_ptr<tk_reg_store>(tk_reg_root root, const std::string& path)>;
// Installs the process-wide settings store (an empty function removes it).
void tk_set_reg_store(tk_reg_opener opener);

class tk_reg_key {
public:
    explicit tk_reg_key(std::string path);
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Creates the key when missing, else opens it. On success the key open before is closed and
    // the new one kept. A root of none is an internal error.
    long open(tk_reg_root root, const std::string& path);
    void close();
    bool is_open() const { return store_ != nullptr; }
    const std::string& path() const { return path_; }

    long get_value(uint32_t& value, const char* name);
    // Narrow text in the locale's charset; size in bytes with the terminating NUL. A null buffer
    // asks only for the size; a buffer too small gives tk_reg_more_data and the size needed.
    long get_value(char* buffer, const char* name, uint32_t* size);
    // Wide text; size in bytes with the terminating NUL.
    long get_value(char16_t* buffer, const char* name, uint32_t* size);

    // Writes need an open key (internal error otherwise).
    long set_value(uint32_t value, const char* name);
    long set_value(const char* text, const char* name);
    long set_value(const char16_t* text, const char* name);

    // The transfers of the saved settings: store writes, load reads. False when no key is open
    // or the transfer fails; a failed load leaves the value unchanged, and so does an empty
    // text (a value of no length restores nothing).
    bool transfer(bool store, bool& value, const char* name);
    bool transfer(bool store, std::string& value, const char* name);
    bool transfer(bool store, std::u16string& value, const char* name);

private:
    long query(const char* name, std::u16string& text);

    std::unique_ptr<tk_reg_store> store_;
    std::string path_;
};
