#pragma once
#include <sndfile.h>

#include <string>

// sf_open for a UTF-8 file name, on every platform.
SNDFILE* OpenSoundFile(const std::string& path, int mode, SF_INFO* info);
