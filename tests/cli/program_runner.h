// Runs the blockwaves command line for the end-to-end tests: in a fork of the test, without a
// program start, or as the program itself for what only a process shows (signals, pipes).
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "editor/cli/app.h"
#include "editor/cli/render.h"

extern char** environ;

namespace bw::cli::test {

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::remove(path.c_str());
    return text;
}

// The command line run as the program's `main` runs it, in a copy of this process made by fork
// (no program start): standard input from `input` when given, standard output and error into
// files in `scratch`, given back in the outcome. Each run gets a bundle of its own, as a program
// does: the bundle stays loaded in the process that loads it and keeps its saved settings and
// random cursor from its first run, so a run in this process would see an earlier run's.
inline Outcome RunForked(std::vector<std::string> args, const std::string& scratch, const std::string& input = "") {
    args.insert(args.begin(), BW_TEST_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string outPath = scratch + "/stdout.txt", errPath = scratch + "/stderr.txt";
    std::cout.flush();
    std::fflush(nullptr);
    Outcome r;
    const pid_t pid = fork();
    if (pid == 0) {
        const auto onto = [](const char* path, int flags, int fd) {
            const int file = open(path, flags, 0644);
            if (file < 0 || dup2(file, fd) < 0) _exit(126);
            if (file != fd) close(file);
        };
        onto(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY, 0);
        onto(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 1);
        onto(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 2);
        setenv("BLOCKWAVES_BUNDLE", BW_TEST_BUNDLE, 1);
        int status = bw::kExitFailed;
        try {
            status = bw::cli::Run(int(args.size()), argv.data());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "blockwaves: %s\n", e.what());
        }
        std::cout.flush();
        std::fflush(nullptr);
#ifdef __SANITIZE_ADDRESS__
        __lsan_do_leak_check();  // as at a program's exit: a leak ends the run with the report
#endif
        _exit(status);
    }
    if (pid > 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    r.out = Slurp(outPath);
    r.err = Slurp(errPath);
    return r;
}

// Starts the program itself, for what only a process shows: standard input from `input`, standard
// output onto `out` (a descriptor, or -1 for /dev/null), standard error into `errPath` ("" for
// /dev/null). Its pid, or -1.
inline pid_t StartProgram(std::vector<std::string> args, const std::string& input, int out, const std::string& errPath) {
    args.insert(args.begin(), BW_TEST_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    if (out < 0)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.empty() ? "/dev/null" : errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, BW_TEST_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace bw::cli::test
