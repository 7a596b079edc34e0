// Permission cases mean nothing to root, and CI runs the tests as root: these helpers run a
// program as the unprivileged user nobody (uid and gid 65534, no other groups) through setpriv.
#pragma once
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace nobody {
inline constexpr unsigned kID = 65534;

inline bool IsRoot() { return ::geteuid() == 0; }

// Whether nobody may search every folder on the way to `path` and read and run the file.
inline bool CanRun(const std::string& path) {
    auto allows = [](const struct stat& st, mode_t other, mode_t user, mode_t group) {
        return (st.st_mode & other) || (st.st_uid == kID && (st.st_mode & user)) ||
               (st.st_gid == kID && (st.st_mode & group));
    };
    std::filesystem::path p = std::filesystem::absolute(path);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0 || !allows(st, S_IXOTH, S_IXUSR, S_IXGRP) || !allows(st, S_IROTH, S_IRUSR, S_IRGRP))
        return false;
    for (p = p.parent_path(); p != p.root_path(); p = p.parent_path())
        if (::stat(p.c_str(), &st) != 0 || !allows(st, S_IXOTH, S_IXUSR, S_IXGRP)) return false;
    return true;
}

// A copy of the file or folder `from` at `relative` inside a fresh folder under /tmp that
// nobody can reach, for programs built where nobody cannot search (a build tree under /root).
// Answers the copy's path; the caller removes `*folder` when done.
inline std::string CopyWhereNobodyReaches(const std::string& from, const std::string& relative, std::string* folder) {
    if (folder->empty()) {
        std::string pattern = "/tmp/bw-nobody-XXXXXX";
        if (!::mkdtemp(pattern.data())) return {};
        ::chmod(pattern.c_str(), 0755);
        *folder = pattern;
    }
    const std::filesystem::path to = std::filesystem::path(*folder) / relative;
    std::filesystem::create_directories(to.parent_path());
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    for (std::filesystem::path p = to.parent_path(); p.string().size() > folder->size(); p = p.parent_path())
        ::chmod(p.c_str(), 0755);
    // Others may read everything and search and run what the owner may.
    auto open = [](const std::filesystem::path& p) {
        struct stat st;
        if (::stat(p.c_str(), &st) == 0) ::chmod(p.c_str(), (st.st_mode & 07777) | 0044 | ((st.st_mode & 0100) ? 0011 : 0));
    };
    open(to);
    if (std::filesystem::is_directory(to))
        for (const auto& e : std::filesystem::recursive_directory_iterator(to)) open(e.path());
    return to.string();
}

// Gives a folder tree to nobody, except the paths in keepRoot, which stay root's.
inline void Give(const std::string& root, const std::vector<std::string>& keepRoot = {}) {
    auto give = [&](const std::filesystem::path& p) {
        for (const std::string& k : keepRoot)
            if (std::filesystem::path(k) == p) return;
        if (::lchown(p.c_str(), kID, kID) != 0) std::perror(p.c_str());  // the test that needs it fails
    };
    give(root);
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) give(e.path());
}

// Runs argv as nobody (or as the caller when `asNobody` is false) with `env` added to the
// environment; standard output and error go to `output`. Answers the exit status, 128 + the
// signal for a program that was killed, -1 when it could not be started.
inline int Run(std::vector<std::string> argv, std::string& output, const std::vector<std::string>& env = {},
               bool asNobody = true) {
    std::vector<std::string> prefix = {"env"};
    prefix.insert(prefix.end(), env.begin(), env.end());
    if (asNobody) prefix.insert(prefix.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    argv.insert(argv.begin(), prefix.begin(), prefix.end());
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    output.clear();
    char chunk[4096];
    while (spawned == 0) {
        const ssize_t n = ::read(pipeFds[0], chunk, sizeof chunk);
        if (n > 0) output.append(chunk, size_t(n));
        else if (n == 0 || errno != EINTR) break;
    }
    ::close(pipeFds[0]);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
}  // namespace nobody
