#pragma once
#include <optional>
#include <string>

// One running VT4R per user: the first start holds a lock on "VT4R.lock" in
// the user's runtime folder for as long as it runs and listens on the socket
// "VT4R.socket" beside it; a later start finds the lock taken, asks the
// running one through the socket to raise its window, and ends.
//
// Everything here runs on the main thread and never blocks for long: the
// listening socket is non-blocking, and a request is one short line.
class SingleInstance {
  public:
    enum class Role {
        Primary,   // we hold the lock; listen() has been set up
        Secondary, // another instance holds it
        Unguarded, // no runtime folder or no lock possible: run, but unguarded
    };

    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR/vt4r when XDG_RUNTIME_DIR is an absolute path, else
    // <temporary folder>/vt4r-<uid>; none when neither can be named.
    static std::optional<std::string> runtimeFolder();

    // Takes the lock in `folder` (created with mode 0700 when missing; a
    // folder owned by another user is refused) and, as the primary, opens the
    // listening socket.
    Role acquire(const std::string& folder);

    // As a secondary: asks the primary to raise its window. Retries for up to
    // `patienceMs` while the primary has the lock but no socket yet (it is
    // still starting). False when nobody answered.
    bool askPrimaryToRaise(int patienceMs = 2000) const;

    // As the primary: the socket to watch for readability, -1 without one.
    int listenFd() const { return mListenFd; }
    // Accepts every waiting connection and answers how many asked to raise
    // the window. Never blocks.
    int takeRaiseRequests();

  private:
    std::string mFolder;
    int mLockFd = -1;
    int mListenFd = -1;
};
