#include "runtime/shared_register.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace strobelink::runtime {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string describe(const std::filesystem::path &path, const char *what) {
    return path.string() + ": " + what;
}

std::string describeErrno(const std::filesystem::path &path) {
    return describe(path, std::strerror(errno));
}

} // namespace

std::filesystem::path defaultSharedRegisterPath() {
    return "/dev/shm/strobelink-" + std::to_string(::geteuid());
}

std::unique_ptr<SharedRegister> SharedRegister::open(const std::filesystem::path &path,
                                                     std::uint8_t restValue,
                                                     std::string &failure) {
    const FileDescriptor fd{::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (fd.get() < 0) {
        failure = errno == ELOOP ? describe(path, "is a symbolic link; refused")
                                 : describeErrno(path);
        return nullptr;
    }
    // Whoever comes first fills a new file; the lock keeps a second program
    // from seeing it empty or filling it twice.
    while (::flock(fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            failure = describeErrno(path);
            return nullptr;
        }
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        failure = describeErrno(path);
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        failure = describe(path, "is not a regular file; refused");
        return nullptr;
    }
    if (status.st_uid != ::geteuid()) {
        failure = describe(path, "belongs to another user; refused");
        return nullptr;
    }
    if ((status.st_mode & (S_IRUSR | S_IWUSR)) != (S_IRUSR | S_IWUSR)) {
        failure = describe(path, "is not readable and writable by its owner; refused");
        return nullptr;
    }
    if (status.st_size == 0 && ::pwrite(fd.get(), &restValue, 1, 0) != 1) {
        failure = describeErrno(path);
        return nullptr;
    }
    if (status.st_size > 1) {
        failure = describe(path, "is not one byte long; refused");
        return nullptr;
    }
    void *mapping = ::mmap(nullptr, 1, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (mapping == MAP_FAILED) {
        failure = describeErrno(path);
        return nullptr;
    }
    ::flock(fd.get(), LOCK_UN);
    return std::make_unique<SharedRegister>(Key{}, static_cast<std::uint8_t *>(mapping));
}

SharedRegister::~SharedRegister() { ::munmap(byte_, 1); }

std::uint8_t SharedRegister::read() {
    return std::atomic_ref<std::uint8_t>{*byte_}.load(std::memory_order_acquire);
}

void SharedRegister::write(std::uint8_t value) {
    std::atomic_ref<std::uint8_t>{*byte_}.store(value, std::memory_order_release);
}

} // namespace strobelink::runtime
