// Runs the real zema-kt (ZEMA_KT_PATH) in a shell and captures standard
// output, standard error and the exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace zema_cli {

struct Result {
    std::string out, err;
    int status;
};

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs zema-kt with the arguments and, when given, the text as its standard input.
inline Result run(const std::string &args, const std::string &input = "") {
    // Per-process capture files: the CLI tests run in parallel.
    std::string stem = testing::TempDir() + "cli_" + std::to_string(getpid());
    std::string out = stem + "_out", err = stem + "_err", in = "/dev/null";
    if (!input.empty()) {
        in = stem + "_in";
        std::ofstream(in, std::ios::binary) << input;
    }
    std::string command =
        std::string(ZEMA_KT_PATH) + " " + args + " >" + out + " 2>" + err + " <" + in;
    int status = std::system(command.c_str());
    return {slurp(out), slurp(err), WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace zema_cli
