#include "single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "temp_dir.h"

namespace {

// Locks belong to open files, not processes, so two guards in one test
// process contend exactly as two programs would.
TEST(SingleInstance, SecondStartFindsTheFirstAndAsksItToRaise) {
    TempDir dir;
    const std::string folder = dir.file("vt4r");
    SingleInstance first;
    ASSERT_EQ(first.acquire(folder), SingleInstance::Role::Primary);
    ASSERT_GE(first.listenFd(), 0);
    EXPECT_EQ(first.takeRaiseRequests(), 0); // nobody asked yet, and it did not block

    SingleInstance second;
    EXPECT_EQ(second.acquire(folder), SingleInstance::Role::Secondary);
    EXPECT_LT(second.listenFd(), 0);
    EXPECT_TRUE(second.askPrimaryToRaise());
    EXPECT_TRUE(second.askPrimaryToRaise());
    EXPECT_EQ(first.takeRaiseRequests(), 2);

    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(SingleInstance, TheLockIsFreedWhenTheFirstEndsAndAStaleSocketIsReplaced) {
    TempDir dir;
    const std::string folder = dir.file("vt4r");
    {
        SingleInstance first;
        ASSERT_EQ(first.acquire(folder), SingleInstance::Role::Primary);
    }
    // A crashed run leaves its socket file behind; the next primary must still listen.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = folder + "/VT4R.socket";
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
    }
    SingleInstance next;
    ASSERT_EQ(next.acquire(folder), SingleInstance::Role::Primary);
    SingleInstance asker;
    ASSERT_EQ(asker.acquire(folder), SingleInstance::Role::Secondary);
    EXPECT_TRUE(asker.askPrimaryToRaise());
    EXPECT_EQ(next.takeRaiseRequests(), 1);
}

TEST(SingleInstance, APrimaryThatIsStillStartingIsWaitedForAndASilentOneGivesUp) {
    TempDir dir;
    const std::string folder = dir.file("vt4r");
    SingleInstance first;
    ASSERT_EQ(first.acquire(folder), SingleInstance::Role::Primary);
    SingleInstance second;
    ASSERT_EQ(second.acquire(folder), SingleInstance::Role::Secondary);

    // Socket gone (as before the primary creates it): a short patience runs out.
    ::unlink((folder + "/VT4R.socket").c_str());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.askPrimaryToRaise(150));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST(SingleInstance, AFolderWeCannotUseLeavesTheProgramUnguarded) {
    TempDir dir;
    // A plain file where the folder should be.
    const std::string notAFolder = dir.file("file");
    { std::ofstream(notAFolder) << "x"; }
    SingleInstance guard;
    EXPECT_EQ(guard.acquire(notAFolder), SingleInstance::Role::Unguarded);
    EXPECT_LT(guard.listenFd(), 0);
    EXPECT_EQ(guard.takeRaiseRequests(), 0);
}

TEST(SingleInstance, RuntimeFolderFollowsXdgRuntimeDirOrFallsBackToTmp) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved != nullptr ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
    EXPECT_EQ(SingleInstance::runtimeFolder(), std::string("/run/user/1234/vt4r"));
    ::setenv("XDG_RUNTIME_DIR", "relative/path", 1); // not absolute: ignored
    const auto fallback = SingleInstance::runtimeFolder();
    ASSERT_TRUE(fallback.has_value());
    EXPECT_NE(fallback->find("/vt4r-" + std::to_string(::getuid())), std::string::npos);
    if (saved != nullptr) {
        ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

} // namespace
