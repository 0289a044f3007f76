#include <cstdio>
#include <exception>

#include "application.h"

int main() {
    try {
        Application application;
        return application.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "VT4R: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "VT4R: unexpected error\n");
    }
    return Application::kExitFailure;
}
