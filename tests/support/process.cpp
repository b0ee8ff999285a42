#include "tests/support/process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace strobelink::testing {

namespace {

std::string readFile(const std::filesystem::path &path) {
    std::ifstream in{path, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, {}};
}

int decode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

} // namespace

Process::Process(const std::filesystem::path &program, const ProcessOptions &options) {
    static int serial = 0;
    const auto base = std::filesystem::temp_directory_path() /
                      ("strobelink-process-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    outputFile_ = base.string() + ".out";
    errorFile_ = base.string() + ".err";

    int inputPipe[2] = {-1, -1};
    if (options.input == Input::pipe && ::pipe2(inputPipe, O_CLOEXEC) != 0)
        throw std::runtime_error{"pipe"};
    std::vector<std::string> arguments{program.filename().string()};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());

    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error{"fork"};
    if (pid_ == 0) {
        switch (options.input) {
        case Input::pipe: ::dup2(inputPipe[0], 0); break;
        case Input::closed: ::close(0); break;
        case Input::null: ::dup2(::open("/dev/null", O_RDONLY), 0); break;
        }
        ::dup2(::open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        for (const auto &[name, value] : options.environment) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::vector<char *> argv;
        for (auto &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (options.input == Input::pipe) {
        ::close(inputPipe[0]);
        input_ = inputPipe[1];
    }
}

Process::~Process() {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    closeInput();
    std::error_code ignored;
    std::filesystem::remove(outputFile_, ignored);
    std::filesystem::remove(errorFile_, ignored);
}

void Process::write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(input_, text.data(), text.size());
        if (written <= 0)
            throw std::runtime_error{"write to child"};
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void Process::closeInput() {
    if (input_ >= 0)
        ::close(input_);
    input_ = -1;
}

void Process::signal(int signalNumber) { ::kill(pid_, signalNumber); }

bool Process::running() {
    if (status_)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = decode(status);
        return false;
    }
    return true;
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = decode(status);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    }
    return status_;
}

std::string Process::output() const { return readFile(outputFile_); }
std::string Process::errors() const { return readFile(errorFile_); }

bool Process::waitForLines(std::size_t lines, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (splitLines(output()).size() < lines) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{5});
    }
    return true;
}

ProcessOptions consoleProgram(const std::filesystem::path &linkRegister, Input input) {
    ProcessOptions options;
    options.environment = {{"STROBELINK_UI", "console"},
                           {"STROBELINK_PORT", linkRegister.string()},
                           {"STROBELINK_DEBUG", std::nullopt}};
    options.input = input;
    return options;
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "strobelink-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error{"mkdtemp"};
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in{text};
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace strobelink::testing
