#include <cstdio>
#include <exception>

#include "application.h"
#include "no_cancellation.h"

int main() {
    MakeStandardErrorCancelSafe();
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
