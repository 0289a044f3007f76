#pragma once
// Runs the real vt4r program on the test X server and drives it the way a
// user would: xdotool for the mouse and keys, ImageMagick's import for
// screenshots, Xlib only where no tool does the job (window stacking, the
// close request a window manager would send).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace gui {

inline std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        ::pclose(pipe);
    }
    return out;
}

inline bool sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

template <typename Condition> bool eventually(Condition condition, double seconds = 10.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A child process with its own environment additions and captured output.
class Process {
  public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& extraEnv, const std::string& outPath, const std::string& errPath) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        for (const auto& e : extraEnv) {
            const std::string key = e.substr(0, e.find('=') + 1);
            std::erase_if(env, [&](const std::string& v) { return v.rfind(key, 0) == 0; });
            env.push_back(e);
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argStore{program};
        argStore.insert(argStore.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argStore) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&mPid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() {
        if (mPid > 0 && !mExit) {
            ::kill(mPid, SIGKILL);
            int status = 0;
            ::waitpid(mPid, &status, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return mPid; }
    // The exit code once the process has ended within `seconds`; none otherwise.
    std::optional<int> waitExit(double seconds) {
        if (mExit) return mExit;
        eventually(
            [&] {
                int status = 0;
                if (::waitpid(mPid, &status, WNOHANG) == mPid) {
                    mExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                    return true;
                }
                return false;
            },
            seconds);
        return mExit;
    }
    void terminate() {
        if (mPid > 0 && !mExit) ::kill(mPid, SIGTERM);
    }

  private:
    pid_t mPid = -1;
    std::optional<int> mExit;
};

// Xlib connection for the few things no command-line tool does here.
class Display {
  public:
    Display() : mDisplay(XOpenDisplay(nullptr)) {}
    ~Display() {
        if (mDisplay != nullptr) XCloseDisplay(mDisplay);
    }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;
    ::Display* get() const { return mDisplay; }

    // Top-level windows in stacking order, bottom first.
    std::vector<Window> stacking() const {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        std::vector<Window> result;
        if (XQueryTree(mDisplay, DefaultRootWindow(mDisplay), &root, &parent, &children, &count) != 0) {
            result.assign(children, children + count);
            XFree(children);
        }
        return result;
    }

    // Mapped top-level windows that bypass a window manager: menus and tooltips.
    size_t popupsShown() const {
        size_t count = 0;
        for (const Window w : stacking()) {
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(mDisplay, w, &attributes) != 0 && attributes.override_redirect &&
                attributes.map_state == IsViewable)
                ++count;
        }
        return count;
    }

    // What a window manager's close box sends.
    void requestClose(Window window) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(mDisplay, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(mDisplay, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(mDisplay, window, False, NoEventMask, &event);
        XFlush(mDisplay);
    }

    // The X resources a program reads at start (what xrdb sets); empty removes them.
    void setResources(const std::string& text) const {
        const Atom property = XInternAtom(mDisplay, "RESOURCE_MANAGER", False);
        if (text.empty()) {
            XDeleteProperty(mDisplay, DefaultRootWindow(mDisplay), property);
        } else {
            XChangeProperty(mDisplay, DefaultRootWindow(mDisplay), property, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
        }
        XSync(mDisplay, False);
    }

    // A plain window of our own, e.g. to cover another one.
    Window createWindow(int x, int y, int w, int h) const {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        const Window window = XCreateWindow(mDisplay, DefaultRootWindow(mDisplay), x, y, w, h, 0,
                                            CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect,
                                            &attributes);
        XMapRaised(mDisplay, window);
        XSync(mDisplay, False);
        return window;
    }
    void destroyWindow(Window window) const {
        XDestroyWindow(mDisplay, window);
        XSync(mDisplay, False);
    }

  private:
    ::Display* mDisplay;
};

// Ids of mapped top-level windows whose title is exactly `title`.
inline std::vector<unsigned long> findWindows(const std::string& title) {
    std::vector<unsigned long> ids;
    std::istringstream out(run("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null"));
    unsigned long id = 0;
    while (out >> id) ids.push_back(id);
    return ids;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

inline std::optional<Geometry> windowGeometry(unsigned long id) {
    const std::string out = run("xwininfo -id " + std::to_string(id) + " 2>/dev/null");
    Geometry g;
    auto field = [&](const char* name, int& value) {
        const auto at = out.find(name);
        if (at == std::string::npos) return false;
        value = std::atoi(out.c_str() + at + std::strlen(name));
        return true;
    };
    if (!field("Absolute upper-left X:", g.x) || !field("Absolute upper-left Y:", g.y) ||
        !field("Width:", g.width) || !field("Height:", g.height))
        return std::nullopt;
    return g;
}

// 8-bit RGB screenshot of a screen rectangle, through ImageMagick's import.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

inline std::optional<Shot> screenshot(const Geometry& area, const std::string& keepAs = "") {
    const std::string path =
        keepAs.empty()
            ? (std::filesystem::temp_directory_path() / ("vt4r-shot-" + std::to_string(::getpid()) + ".rgb")).string()
            : keepAs + ".rgb";
    const std::string crop = std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
                             std::to_string(area.x) + "+" + std::to_string(area.y);
    if (!sh("import -silent -window root -crop " + crop + " -depth 8 rgb:" + path)) return std::nullopt;
    if (!keepAs.empty()) sh("import -silent -window root -crop " + crop + " " + keepAs);
    Shot shot;
    shot.width = area.width;
    shot.height = area.height;
    const std::string bytes = readFile(path);
    if (keepAs.empty()) std::filesystem::remove(path);
    if (bytes.size() != static_cast<size_t>(area.width) * area.height * 3) return std::nullopt;
    shot.rgb.assign(bytes.begin(), bytes.end());
    return shot;
}

// Pixels that differ between two shots of the same size, within a rectangle.
inline int countDifferences(const Shot& a, const Shot& b, int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (std::memcmp(a.at(x, y), b.at(x, y), 3) != 0) ++count;
    return count;
}

} // namespace gui
