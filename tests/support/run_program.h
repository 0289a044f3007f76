#pragma once
// Runs one of our programs as a user's shell would, on POSIX and on Windows
// (under Wine too): no shell in between, so no quoting rules leak into tests.
#include <string>
#include <vector>

struct ProgramResult {
    int exitCode = -1;  // -1 when it could not be started or did not end by itself
    std::string errors; // all it wrote to stderr
};

// Starts `program` with each of `arguments` as one argument (UTF-8), stdin and
// stdout on the null device, in `folder` ("" for the caller's), and waits for it.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& folder = "");
