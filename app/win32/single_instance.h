#pragma once

// One running VT4R per session: the named mutex "VT4R" marks a running one.
namespace single_instance {

// When another VT4R runs, brings its window (titled "VT4R") to the front and
// answers true. Otherwise creates the mutex, which lives until the process
// ends, and answers false.
bool raiseRunningInstance();

} // namespace single_instance
