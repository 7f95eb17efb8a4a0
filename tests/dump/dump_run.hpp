#pragma once
// Running the crunchwatch-dump program as a user runs it, for the tests of
// its output: its exit status, stdout and stderr.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

extern char** environ;

namespace crunchwatch::test {

inline const std::string dumpExe = CRUNCHWATCH_DUMP_EXE;

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs argv (argv[0] a full path) with stdout and stderr caught in files,
// in the UTC time zone and the C locale.
inline Outcome run(const std::vector<std::string>& args) {
    static const TempDir outputs;
    const std::string outPath = (outputs.path() / "stdout").string();
    const std::string errPath = (outputs.path() / "stderr").string();

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "TZ=", 3) != 0 && std::strncmp(*e, "LC_", 3) != 0 && std::strncmp(*e, "LANG=", 5) != 0)
            env.emplace_back(*e);
    env.emplace_back("TZ=UTC");
    env.emplace_back("LC_ALL=C");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argCopy = args;
    std::vector<char*> argv;
    for (auto& a : argCopy) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome r;
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << args[0] << ": " << std::strerror(spawned);
        return r;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(outPath);
    r.err = slurp(errPath);
    return r;
}

// The text between `from` (included) and `to` (excluded, the first after
// `from` begins); empty when either is missing.
inline std::string between(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    const std::size_t end = at == std::string::npos ? at : text.find(to, at);
    return end == std::string::npos ? std::string() : text.substr(at, end - at);
}

// `json` with the value of every member named `key` (a number or a word,
// up to the next "," or "}") written as "_": for the figures a run takes
// from its own clock or from the disk, which two runs need not share.
inline std::string blankValues(std::string json, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        const std::string member = "\"" + key + "\":";
        for (std::size_t at = json.find(member); at != std::string::npos; at = json.find(member, at)) {
            at += member.size();
            const std::size_t end = json.find_first_of(",}", at);
            json.replace(at, end - at, "_");
        }
    }
    return json;
}

inline Outcome dump(std::vector<std::string> args) {
    args.insert(args.begin(), dumpExe);
    return run(args);
}

}  // namespace crunchwatch::test
