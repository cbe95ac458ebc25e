#include "tk/tk_regk.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {
std::mutex opener_mutex;
tk_reg_opener& installed_opener() {
    static tk_reg_opener opener;
    return opener;
}

bool parse_number(const std::u16string& text, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        number = number * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (number > 0xFFFFFFFFull) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

int type_of(const std::u16string& text) {
    uint32_t ignored;
    return parse_number(text, ignored) ? tk_reg_type_number : tk_reg_type_text;
}
}  // namespace

void tk_set_reg_store(tk_reg_opener opener) {
    std::lock_guard lock(opener_mutex);
    installed_opener() = std::move(opener);
}

tk_reg_key::tk_reg_key(std::string path) : path_(std::move(path)) {}

tk_reg_key::~tk_reg_key() = default;

long tk_reg_key::open(tk_reg_root root, const std::string& path) {
    if (root == tk_reg_root::none) throw tk_mail_assertion("tk_regk", 64);
    tk_reg_opener opener;
    {
        std::lock_guard lock(opener_mutex);
        opener = installed_opener();
    }
    if (!opener) return tk_reg_invalid_function;
    std::unique_ptr<tk_reg_store> store = opener(root, path);
    if (!store) return tk_reg_access_denied;
    store_ = std::move(store);
    return tk_reg_ok;
}

void tk_reg_key::close() { store_.reset(); }

long tk_reg_key::query(const char* name, std::u16string& text) {
    if (!store_) return tk_reg_invalid_function;
    long result = store_->query(name, text);
    TK_TRACE(1, "type=%d, size=%d", result == tk_reg_ok ? type_of(text) : tk_reg_type_none,
             result == tk_reg_ok ? static_cast<int>(text.size()) : 0);
    return result;
}

long tk_reg_key::get_value(uint32_t& value, const char* name) {
    if (name == nullptr) throw tk_mail_assertion("tk_regk", 98);
    TK_TRACE(2, "tk_reg_key::get_value(ulong, %s)", name);
    std::u16string text;
    long result = query(name, text);
    if (result != tk_reg_ok) return result;
    return parse_number(text, value) ? tk_reg_ok : tk_reg_invalid_data;
}

long tk_reg_key::get_value(char* buffer, const char* name, uint32_t* size) {
    if (size == nullptr) throw tk_mail_assertion("tk_regk", 115);
    if (name == nullptr) throw tk_mail_assertion("tk_regk", 116);
    TK_TRACE(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    std::u16string text;
    long result = query(name, text);
    if (result != tk_reg_ok) return result;
    std::string narrow = tk_to_ansi(text);
    uint32_t needed = static_cast<uint32_t>(narrow.size() + 1);
    if (buffer == nullptr) {
        *size = needed;
        return tk_reg_ok;
    }
    if (*size < needed) {
        *size = needed;
        return tk_reg_more_data;
    }
    std::memcpy(buffer, narrow.c_str(), needed);
    *size = needed;
    return tk_reg_ok;
}

long tk_reg_key::get_value(char16_t* buffer, const char* name, uint32_t* size) {
    if (size == nullptr) throw tk_mail_assertion("tk_regk", 132);
    if (name == nullptr) throw tk_mail_assertion("tk_regk", 133);
    TK_TRACE(2, "tk_reg_key::get_value(LPWSTR, %s)", name);
    std::u16string text;
    long result = query(name, text);
    if (result != tk_reg_ok) return result;
    uint32_t needed = static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t));
    if (buffer == nullptr) {
        *size = needed;
        return tk_reg_ok;
    }
    if (*size < needed) {
        *size = needed;
        return tk_reg_more_data;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return tk_reg_ok;
}

long tk_reg_key::set_value(uint32_t value, const char* name) {
    if (!store_) throw tk_mail_assertion("tk_regk", 149);
    return store_->set(name, tk_u16(std::to_string(value)));
}

long tk_reg_key::set_value(const char* text, const char* name) {
    if (text == nullptr) throw tk_mail_assertion("tk_regk", 156);
    if (!store_) throw tk_mail_assertion("tk_regk", 157);
    return store_->set(name, tk_from_ansi(text));
}

long tk_reg_key::set_value(const char16_t* text, const char* name) {
    if (text == nullptr) throw tk_mail_assertion("tk_regk", 164);
    if (!store_) throw tk_mail_assertion("tk_regk", 165);
    return store_->set(name, text);
}

bool tk_reg_key::transfer(bool store, bool& value, const char* name) {
    if (!store_) return false;
    if (store) return set_value(value ? 1u : 0u, name) == tk_reg_ok;
    uint32_t number = 0;
    if (get_value(number, name) != tk_reg_ok) return false;
    value = number != 0;
    return true;
}

bool tk_reg_key::transfer(bool store, std::string& value, const char* name) {
    if (!store_) return false;
    if (store) return set_value(value.c_str(), name) == tk_reg_ok;
    uint32_t size = 0;
    if (get_value(static_cast<char*>(nullptr), name, &size) != tk_reg_ok || size <= 1) return false;
    std::vector<char> buffer(size);
    if (get_value(buffer.data(), name, &size) != tk_reg_ok) return false;
    value.assign(buffer.data());
    return true;
}

bool tk_reg_key::transfer(bool store, std::u16string& value, const char* name) {
    if (!store_) return false;
    if (store) return set_value(value.c_str(), name) == tk_reg_ok;
    uint32_t size = 0;
    if (get_value(static_cast<char16_t*>(nullptr), name, &size) != tk_reg_ok ||
        size <= sizeof(char16_t))
        return false;
    std::vector<char16_t> buffer(size / sizeof(char16_t));
    if (get_value(buffer.data(), name, &size) != tk_reg_ok) return false;
    value.assign(buffer.data());
    return true;
}
