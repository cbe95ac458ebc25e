// An absolute file path split into extension (with its "."), drive (always empty here), file
// name without extension and folder (with its trailing '/'). Replacing a part and rebuilding
// gives the same path with that part changed.
#pragma once

#include <string>

class tk_fname {
public:
    // An empty path stands for the running program (its file-name part is then left empty);
    // any other path is made absolute against the current folder. Null: internal error.
    explicit tk_fname(const char* path);
    explicit tk_fname(const std::string& path) : tk_fname(path.c_str()) {}

    std::string get_folder() const { return drive + dir; }
    std::string get_path() const { return drive + dir + fname + ext; }

    std::string ext;
    std::string drive;
    std::string fname;
    std::string dir;
};

class tk_file_wname {
public:
    explicit tk_file_wname(const char16_t* path);
    explicit tk_file_wname(const std::u16string& path) : tk_file_wname(path.c_str()) {}

    std::u16string get_folder() const { return drive + dir; }
    std::u16string get_path() const { return drive + dir + fname + ext; }

    std::u16string ext;
    std::u16string drive;
    std::u16string fname;
    std::u16string dir;
};
