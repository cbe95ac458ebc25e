#include "tk/tk_fname.h"

#include <filesystem>
#include <system_error>

#include "tk/tk_errco.h"
#include "tk/tk_log.h"
#include "tk/tk_utils.h"

namespace {

struct split_path {
    std::string ext, fname, dir;
};

// Splits an absolute path; the extension starts at the last '.' of the last component.
split_path split(const std::string& absolute, bool keep_name) {
    split_path parts;
    size_t slash = absolute.rfind('/');
    parts.dir = absolute.substr(0, slash + 1);
    if (!keep_name) return parts;
    std::string name = absolute.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        parts.ext = name.substr(dot);
        name.resize(dot);
    }
    parts.fname = name;
    return parts;
}

bool make_absolute(const std::string& path, std::string& absolute) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) return false;
    absolute = full.lexically_normal().string();
    return true;
}

}  // namespace

tk_fname::tk_fname(const char* path) {
    if (path == nullptr) throw tk_mail_assertion("tk_fname", 28);
    std::string absolute;
    bool program = *path == '\0';
    if (program)
        absolute = tk_get_module_path();
    else if (!make_absolute(path, absolute))
        throw tk_mail_assertion("tk_fname", 36);
    split_path parts = split(absolute, !program);
    ext = parts.ext;
    fname = parts.fname;
    dir = parts.dir;
}

tk_file_wname::tk_file_wname(const char16_t* path) {
    if (path == nullptr) throw tk_mail_assertion("tk_fname", 75);
    TK_TRACE(1, "tk_file_wname::initialize(%s)", TK_W(std::u16string_view(path)));
    std::string narrow;
    bool program = *path == u'\0';
    if (program) {
        narrow = tk_get_module_path();
    } else {
        std::string given;
        if (!tk_wide_to_ansi(path, given) || !make_absolute(given, narrow))
            throw tk_mail_assertion("tk_fname", 83);
    }
    split_path parts = split(narrow, !program);
    ext = tk_from_ansi(parts.ext);
    fname = tk_from_ansi(parts.fname);
    dir = tk_from_ansi(parts.dir);
}
