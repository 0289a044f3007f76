#include <windows.h>

#include <cstdio>
#include <exception>

#include "application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        Application application(instance);
        return application.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "VT4R: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "VT4R: unexpected error\n");
    }
    return StandaloneApp::kExitFailure;
}
