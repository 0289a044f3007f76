// The one place that knows how the sound library takes a file name: as it is
// on POSIX, in UTF-16 on Windows, where a narrow name is in the legacy code page.
#ifdef _WIN32
#include <cwchar>
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#include "sound_file.h"

#include "platform/files.h"

SNDFILE* OpenSoundFile(const std::string& path, int mode, SF_INFO* info) {
#ifdef _WIN32
    return sf_wchar_open(platform::WidePath(path).c_str(), mode, info);
#else
    return sf_open(path.c_str(), mode, info);
#endif
}
