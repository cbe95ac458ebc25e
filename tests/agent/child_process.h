// Runs a program of ours as a child process in a folder of the test's own, with standard output
// and standard error caught in files, and hands back both texts and the exit status.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace qvx_test {

namespace fs = std::filesystem;

struct outcome {
    std::string out;
    std::string err;
    int status = -1;  // -1: the child did not exit normally
};

inline std::string read_text(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_text(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// Runs `program` in `folder` with the variables of `env` set (in order, after LC_ALL=C.UTF-8,
// so the C library's messages are English and the charset UTF-8 unless a test asks otherwise).
inline outcome run_child(const std::string& program, const std::vector<std::string>& args,
                         const fs::path& folder,
                         const std::vector<std::pair<std::string, std::string>>& env) {
    fs::path out_file = folder / ".stdout", err_file = folder / ".stderr";
    pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(120);
        int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(121);
        setenv("LC_ALL", "C.UTF-8", 1);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(122);
    }
    outcome result;
    int wait_status = 0;
    if (child < 0 || waitpid(child, &wait_status, 0) != child || !WIFEXITED(wait_status))
        return result;
    result.status = WEXITSTATUS(wait_status);
    result.out = read_text(out_file);
    result.err = read_text(err_file);
    return result;
}

}  // namespace qvx_test
