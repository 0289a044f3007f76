#pragma once
// The few file and process operations whose form differs between POSIX and
// Windows. Every name is UTF-8; on Windows it becomes UTF-16 at the system call.
// Failures set errno, so callers report them with strerror on both platforms.
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// std::fopen for a UTF-8 name.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Removes a file; false when it could not be removed.
bool RemoveFile(const std::string& path);

enum class NewFileAccess {
    Default,    // what a newly created file gets (the umask on POSIX)
    LikeTarget, // the target's permissions when it exists, else owner only
};

// Creates a new, empty file beside `target` (same folder, a unique name that
// starts with the target's) and answers its name; "" when none could be made.
// It is meant to be written, flushed and then moved over the target.
std::string CreateTemporaryBeside(const std::string& target, NewFileAccess access);

// Writes the stream's buffers and has the system put the data on the disk.
bool FlushToDisk(std::FILE* file);

// Moves `from` over `to` in one step: `to` is afterwards either its old self or
// `from`, and the move is on the disk when this answers true.
bool ReplaceAtomically(const std::string& from, const std::string& to);

// True when both names reach the same existing file, whatever their spelling.
bool SameFile(const std::string& a, const std::string& b);

enum class PathKind {
    None,  // nothing there, or it cannot be examined
    File,  // a regular file
    Other, // a folder, device, pipe...
};
PathKind KindOfPath(const std::string& path);

// Creates the folder `path` and any missing parents. True when it is a
// folder afterwards (also when it was one already).
bool CreateFolders(const std::string& path);

// The file a symbolic link at `path` leads to, so that replacing it keeps the
// link; `path` itself when it is no link (and always on Windows).
std::string LinkTarget(const std::string& path);

// The program's arguments, argv[0] first, in UTF-8 (on Windows taken from the
// UTF-16 command line, since argv is in the legacy code page there).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Whether the stream is an interactive terminal.
bool IsTerminal(std::FILE* file);

// Lets a console show the program's UTF-8 messages (a file name in an error,
// say) for as long as it runs. Nothing to do on POSIX.
void UseUtf8Console();

#ifdef _WIN32
// The UTF-16 form of a UTF-8 name, for libraries that take one, and back.
std::wstring WidePath(const std::string& path);
std::string Utf8FromWide(const wchar_t* text);
#endif

} // namespace platform
