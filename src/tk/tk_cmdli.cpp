#include "tk/tk_cmdli.h"

#include <cstring>

#include "tk/tk_errco.h"

tk_cmdli::tk_cmdli(const tk_cmd_option* options, int argc, const char* const* argv)
    : options_(options), cursor_(argv), remaining_(argc > 1 ? argc - 1 : 0) {
    if (options == nullptr) throw tk_mail_assertion("tk_cmdli", __LINE__);
    if (argv == nullptr && argc > 1) throw tk_mail_assertion("tk_cmdli", __LINE__);
    if (remaining_ > 0) ++cursor_;  // the program name is not an option
}

bool tk_cmdli::next() {
    if (remaining_ <= 0) return false;
    current_ = *cursor_++;
    --remaining_;
    if (current_ == nullptr) throw tk_mail_assertion("tk_cmdli", __LINE__);

    option_ = -1;
    value_.clear();
    for (const tk_cmd_option* entry = options_; entry->prefix != nullptr && *entry->prefix != '\0';
         ++entry) {
        size_t length = std::strlen(entry->prefix);
        if (std::strncmp(current_, entry->prefix, length) == 0) {
            option_ = entry->number;
            value_.assign(current_ + length);
            return true;
        }
    }
    if (unmatched_.size() < max_unmatched) unmatched_.emplace_back(current_);
    ++unmatched_count_;
    return true;
}
