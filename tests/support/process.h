// A built program run as a child process, for end-to-end tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace strobelink::testing {

enum class Input { pipe, closed, null };

struct ProcessOptions {
    std::vector<std::string> arguments;
    // Environment changes: a value sets the variable, nullopt removes it.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    Input input = Input::pipe;
};

class Process {
public:
    Process(const std::filesystem::path &program, const ProcessOptions &options);
    ~Process(); // kills the child if it still runs
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    void write(std::string_view text);
    void closeInput();
    void signal(int signalNumber);

    // The exit status, or 128 + the signal that ended it; nullopt if it still
    // runs after `timeout` (it is then killed).
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running();

    std::string output() const; // standard output so far
    std::string errors() const; // standard error so far
    // Polls standard output until it holds `lines` lines.
    bool waitForLines(std::size_t lines, std::chrono::milliseconds timeout) const;

private:
    pid_t pid_ = -1;
    int input_ = -1;
    std::optional<int> status_;
    std::filesystem::path outputFile_, errorFile_;
};

// A program on the console with `linkRegister` as its register, failing silently.
ProcessOptions consoleProgram(const std::filesystem::path &linkRegister, Input input = Input::pipe);

// A fresh directory for one test, removed with it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;
    const std::filesystem::path &path() const { return path_; }
    std::filesystem::path operator/(const std::string &name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<std::string> splitLines(const std::string &text);

} // namespace strobelink::testing
