// The settings file: any bytes on disk are read into the record, written back and read again.
// The second read must give the record the first gave, and writing it once more must leave the
// file as it was: otherwise each start of the program would drift the settings.
#include <string>
#include <unistd.h>

#include "app/ini_file.h"
#include "app/settings.h"
#include "fuzz_input.h"

namespace {

// A folder of our own, on a memory file system where there is one (the save flushes to disk).
const std::string& folder() {
    static const std::string path = [] {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string pattern = std::string(base) + "/vt4r-fuzz-XXXXXX";
            if (mkdtemp(pattern.data()) != nullptr) {
                std::atexit([] { rmdir(folder().c_str()); });
                return pattern;
            }
        }
        std::abort();
    }();
    return path;
}

std::string contents(const std::string& path) {
    return IniFile::load(path).text();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = folder() + "/settings.ini";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);

    AppSettings first;
    readSettings(path, first);
    FUZZ_CHECK(writeSettings(path, first));
    AppSettings second;
    setText(second.indev, "not read");
    readSettings(path, second);
    FUZZ_CHECK(second == first);

    const std::string written = contents(path);
    FUZZ_CHECK(writeSettings(path, second));
    FUZZ_CHECK(contents(path) == written);
    std::remove(path.c_str());
    return 0;
}
