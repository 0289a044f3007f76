#include "single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr const char* kLockName = "VT4R.lock";
constexpr const char* kSocketName = "VT4R.socket";
constexpr const char kRaiseRequest[] = "raise\n";

bool socketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Creates `folder` private to us, or accepts it when it already is ours.
bool preparePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return false;
    }
    return true;
}

} // namespace

SingleInstance::~SingleInstance() {
    if (mListenFd >= 0) {
        ::close(mListenFd);
        // Only the lock holder ever creates or removes the socket.
        ::unlink((mFolder + "/" + kSocketName).c_str());
    }
    if (mLockFd >= 0) {
        ::close(mLockFd);
    }
}

std::optional<std::string> SingleInstance::runtimeFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/vt4r";
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
    return base + "/vt4r-" + std::to_string(::getuid());
}

SingleInstance::Role SingleInstance::acquire(const std::string& folder) {
    mFolder = folder;
    if (!preparePrivateFolder(folder)) {
        std::fprintf(stderr, "VT4R: cannot use %s for the single-instance lock; running unguarded\n",
                     folder.c_str());
        return Role::Unguarded;
    }
    const std::string lockPath = folder + "/" + kLockName;
    mLockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (mLockFd < 0) {
        std::fprintf(stderr, "VT4R: cannot open %s: %s; running unguarded\n", lockPath.c_str(),
                     std::strerror(errno));
        return Role::Unguarded;
    }
    if (::flock(mLockFd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(mLockFd);
        mLockFd = -1;
        if (error == EWOULDBLOCK) {
            return Role::Secondary;
        }
        std::fprintf(stderr, "VT4R: cannot lock %s: %s; running unguarded\n", lockPath.c_str(),
                     std::strerror(error));
        return Role::Unguarded;
    }

    // We hold the lock, so a socket file left here belongs to a run that
    // ended without cleaning up.
    const std::string socketPath = folder + "/" + kSocketName;
    sockaddr_un address{};
    if (!socketAddress(socketPath, address)) {
        std::fprintf(stderr, "VT4R: runtime folder path too long for a socket; a second start cannot "
                             "raise this window\n");
        return Role::Primary;
    }
    ::unlink(socketPath.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        std::fprintf(stderr, "VT4R: cannot listen on %s: %s\n", socketPath.c_str(), std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return Role::Primary;
    }
    mListenFd = fd;
    return Role::Primary;
}

bool SingleInstance::askPrimaryToRaise(int patienceMs) const {
    sockaddr_un address{};
    if (!socketAddress(mFolder + "/" + kSocketName, address)) {
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            const bool sent = ::send(fd, kRaiseRequest, sizeof kRaiseRequest - 1, MSG_NOSIGNAL) ==
                              static_cast<ssize_t>(sizeof kRaiseRequest - 1);
            ::close(fd);
            return sent;
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int SingleInstance::takeRaiseRequests() {
    if (mListenFd < 0) {
        return 0;
    }
    int requests = 0;
    for (;;) {
        const int fd = ::accept4(mListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            break; // EAGAIN: nobody else waiting
        }
        // The caller connects, writes one line and closes; wait briefly for
        // it, but never let a silent client hold the window thread.
        char buffer[16] = {};
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 100) == 1) {
            const ssize_t got = ::recv(fd, buffer, sizeof buffer - 1, MSG_DONTWAIT);
            if (got > 0 && std::strncmp(buffer, kRaiseRequest, sizeof kRaiseRequest - 1) == 0) {
                ++requests;
            }
        }
        ::close(fd);
    }
    return requests;
}
