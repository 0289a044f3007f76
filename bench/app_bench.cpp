// The running program's costs on a real X server and JACK server (run under
// scripts/with-jack.sh and scripts/with-xvfb.sh):
//   - start-up: from launching vt4r to its window being mapped with the
//     editor drawn, at 100 % and (the Linux program) at 200 % zoom;
//   - the window thread's share of one core over 30 s, with music playing in
//     (the needle moving) and with silence (nothing changing), and the
//     program's resident memory at the end.
// With VT4R_WINDOWS_BUILD naming a Windows build tree, and under
// scripts/with-wine.sh as well, the same figures for its vt4r.exe under Wine
// (DirectSound, Wine's audio routed to the JACK server).
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <pwd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app_driver.h"

namespace fs = std::filesystem;

namespace {

// The Windows build under Wine instead of the Linux program.
std::string windowsExe() {
    const char* build = std::getenv("VT4R_WINDOWS_BUILD");
    return build != nullptr && std::getenv("WINEPREFIX") != nullptr ? std::string(build) + "/app/win32/vt4r.exe"
                                                                    : std::string();
}

struct Sandbox {
    fs::path dir;
    // `zoom`: the View menu's choice kept in the settings, or nothing.
    explicit Sandbox(const char* zoom = nullptr) {
        char pattern[] = "/tmp/vt4r-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        fs::create_directories(dir / "config" / "VT4R");
        fs::create_directories(dir / "run");
        std::ofstream(dir / "config" / "VT4R" / "settings.ini")
            << "[audio]\ndriver=1\nsr=48000\niovs=256\nsigvs=32\n" << (zoom ? std::string("[view]\nscale=") + zoom + "\n" : "");
        if (!windowsExe().empty()) {
            const passwd* user = ::getpwuid(::getuid());
            const fs::path folder = fs::path(std::getenv("WINEPREFIX")) / "drive_c" / "users" /
                                    (user != nullptr ? user->pw_name : "root") / "AppData" / "Local" / "VT4R";
            fs::create_directories(folder);
            std::ofstream(folder / "settings.ini") << "[audio]\r\ndriver=0\r\nsr=48000\r\niovs=512\r\nsigvs=32\r\n";
        }
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::unique_ptr<gui::Process> launch() const {
        const std::string exe = windowsExe();
        return std::make_unique<gui::Process>(
            exe.empty() ? VT4R_APP_PATH : "/usr/bin/wine", exe.empty() ? std::vector<std::string>{} : std::vector<std::string>{exe},
            std::vector<std::string>{"XDG_CONFIG_HOME=" + (dir / "config").string(),
                                     "XDG_RUNTIME_DIR=" + (dir / "run").string()},
            (dir / "out").string(), (dir / "err").string());
    }
};

// Ends the program as its platform would; under Wine with WM_CLOSE to its
// windows, so its sound clients leave the JACK server in order.
void endProgram(gui::Process& app) {
    if (windowsExe().empty()) {
        app.terminate();
    } else {
        gui::sh("wine taskkill /im vt4r.exe >/dev/null 2>&1");
    }
    app.waitExit(30);
}

long residentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

bool rigReady(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr || !gui::sh("jack_wait -c 2>/dev/null | grep -q running")) {
        state.SkipWithError("needs an X display and a JACK server (scripts/with-xvfb.sh, scripts/with-jack.sh)");
        return false;
    }
    return true;
}

bool titled(::Display* display, Window window, const char* title) {
    char* name = nullptr;
    const bool match = XFetchName(display, window, &name) != 0 && name != nullptr && std::strcmp(name, title) == 0;
    if (name != nullptr) XFree(name);
    return match;
}

// The meter face, lit cream, in the middle of the editor: drawn means visible.
// Under Wine the window holds the frame, caption and menu that Wine draws,
// the editor sits at the bottom between equal borders.
bool editorDrawn(::Display* display, Window window, int scale = 1) {
    int x = 0;
    int y = 25 * scale;
    if (!windowsExe().empty()) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
        x = (attributes.width - 288) / 2;
        y = attributes.height - 392 - x;
    }
    XImage* image = XGetImage(display, window, x + 144 * scale, y + 100 * scale, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return ((pixel >> 16) & 0xFF) > 150 && ((pixel >> 8) & 0xFF) > 120;
}

// state.range(0): the zoom in percent, 100 or 200 (the Linux program's View menu, kept in its settings).
void StartupToVisibleWindow(benchmark::State& state) {
    if (!rigReady(state)) return;
    const int scale = static_cast<int>(state.range(0) / 100);
    if (scale != 1 && !windowsExe().empty()) {
        state.SkipWithError("the Windows program has no zoom setting");
        return;
    }
    gui::Display x;
    XSelectInput(x.get(), DefaultRootWindow(x.get()), SubstructureNotifyMask);
    for (auto _ : state) {
        Sandbox sandbox(scale == 2 ? "2" : nullptr);
        XSync(x.get(), True); // drop old events
        const auto begin = std::chrono::steady_clock::now();
        auto app = sandbox.launch();
        Window mapped = 0;
        const auto deadline = begin + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            while (mapped == 0 && XPending(x.get()) > 0) {
                XEvent event;
                XNextEvent(x.get(), &event);
                if (event.type == MapNotify && titled(x.get(), event.xmap.window, "VT4R")) {
                    mapped = event.xmap.window;
                }
            }
            if (mapped != 0 && editorDrawn(x.get(), mapped, scale)) break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        const auto end = std::chrono::steady_clock::now();
        if (mapped == 0 || !editorDrawn(x.get(), mapped, scale)) {
            state.SkipWithError("the window did not appear");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
        if (!windowsExe().empty()) {
            endProgram(*app); // Wine's unmanaged windows take no close request from X
            continue;
        }
        x.requestClose(mapped);
        if (!app->waitExit(10)) state.SkipWithError("the program did not end on the close request");
    }
}
BENCHMARK(StartupToVisibleWindow)->Arg(100)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

double threadSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0.0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// state.range(0): 1 plays music in (the needle moves), 0 leaves the input silent.
void WindowThreadCpu(benchmark::State& state) {
    if (!rigReady(state)) return;
    const double seconds = std::getenv("VT4R_BENCH_SECONDS") ? std::atof(std::getenv("VT4R_BENCH_SECONDS")) : 30.0;
    for (auto _ : state) {
        Sandbox sandbox;
        auto app = sandbox.launch();
        if (!gui::eventually([] { return gui::findWindows("VT4R").size() == 1; }, 20)) {
            state.SkipWithError("the window did not appear");
            return;
        }
        std::unique_ptr<gui::Process> player;
        if (state.range(0) == 1) {
            // Under Wine into the capture ports of Wine's JACK client.
            std::vector<std::string> args{"music"};
            if (!windowsExe().empty()) args.insert(args.begin(), {"--ports", "^vt4r-wine[^:]*:"});
            player = std::make_unique<gui::Process>(VT4R_PLAYER_PATH, args,
                                                    std::vector<std::string>{}, (sandbox.dir / "p.out").string(),
                                                    (sandbox.dir / "p.err").string());
        }
        // Past start-up and the fade-in (under Wine the stream opens in seconds).
        std::this_thread::sleep_for(std::chrono::seconds(windowsExe().empty() ? 3 : 20));
        const double cpuBefore = threadSeconds(app->pid());
        const auto begin = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const double cpu = threadSeconds(app->pid()) - cpuBefore;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        state.SetIterationTime(wall);
        state.counters["window_thread_cpu_percent"] = 100.0 * cpu / wall;
        state.counters["resident_MiB"] = static_cast<double>(residentKiB(app->pid())) / 1024.0;
        player.reset();
        endProgram(*app);
    }
}
BENCHMARK(WindowThreadCpu)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
