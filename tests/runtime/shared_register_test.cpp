// The simulated register in a file: made right, and refused when it is not
// the user's own one-byte file.
#include "runtime/shared_register.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace strobelink::runtime;

namespace {

class SharedRegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("register-test-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::filesystem::path path(const char *name) const { return directory_ / name; }

    static std::string contents(const std::filesystem::path &file) {
        std::ifstream in{file, std::ios::binary};
        return {std::istreambuf_iterator<char>{in}, {}};
    }

    std::filesystem::path directory_;
};

TEST_F(SharedRegisterTest, CreatesAnOwnerOnlyRegisterAtRest) {
    std::string failure;
    const auto file = path("reg");
    auto linkRegister = SharedRegister::open(file, 0x80, failure);
    ASSERT_TRUE(linkRegister) << failure;
    EXPECT_EQ(linkRegister->read(), 0x80);
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_size, 1);
}

TEST_F(SharedRegisterTest, TwoOpeningsShareOneByte) {
    std::string failure;
    auto writer = SharedRegister::open(path("reg"), 0x80, failure);
    auto reader = SharedRegister::open(path("reg"), 0x80, failure);
    ASSERT_TRUE(writer && reader) << failure;
    writer->write(0x48);
    EXPECT_EQ(reader->read(), 0x48);
    EXPECT_EQ(contents(path("reg")), "\x48");
}

TEST_F(SharedRegisterTest, FillsAnEmptyFileOfTheUsersOwn) {
    std::ofstream{path("empty")};
    std::string failure;
    auto linkRegister = SharedRegister::open(path("empty"), 0x80, failure);
    ASSERT_TRUE(linkRegister) << failure;
    EXPECT_EQ(contents(path("empty")), "\x80");
}

TEST_F(SharedRegisterTest, RefusesWhatIsNotTheUsersOwnOneByteFile) {
    std::ofstream{path("target"), std::ios::binary} << '\x80';
    std::filesystem::create_symlink(path("target"), path("link"));
    std::ofstream{path("long"), std::ios::binary} << "\x80\x80";
    std::ofstream{path("locked"), std::ios::binary} << '\x48';
    std::filesystem::permissions(path("locked"), std::filesystem::perms::none);
    std::filesystem::create_directory(path("directory"));
    std::ofstream{path("foreign"), std::ios::binary} << '\x48';
    const bool canChown = ::chown(path("foreign").c_str(), 65534, 65534) == 0;

    struct {
        const char *name;
        const char *says;
    } refused[] = {{"link", "symbolic link"},
                   {"long", "not one byte long"},
                   {"locked", "readable"},
                   {"directory", ""},
                   {"foreign", "another user"}};
    for (const auto &file : refused) {
        if (std::string_view{file.name} == "foreign" && !canChown)
            continue; // only root can hand a file to another user
        std::string failure;
        EXPECT_FALSE(SharedRegister::open(path(file.name), 0x80, failure)) << file.name;
        EXPECT_NE(failure.find(file.says), std::string::npos) << file.name << ": " << failure;
    }
    // Nothing was written to any of them.
    EXPECT_EQ(contents(path("long")), "\x80\x80");
    EXPECT_EQ(contents(path("foreign")), "\x48");
    std::filesystem::permissions(path("locked"), std::filesystem::perms::owner_read);
    EXPECT_EQ(contents(path("locked")), "\x48") << "the unreadable file was written to";
    EXPECT_EQ(contents(path("target")), "\x80") << "the link's target was written to";
}

TEST_F(SharedRegisterTest, DefaultRegisterIsPerUserInSharedMemory) {
    EXPECT_EQ(defaultSharedRegisterPath(), "/dev/shm/strobelink-" + std::to_string(::geteuid()));
}

} // namespace
