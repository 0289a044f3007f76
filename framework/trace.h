#pragma once

// The framework's trace points: a location, a printf-style format and its
// arguments. This build discards every call; the points stay so a diagnostic
// build can route them somewhere without touching the callers.
[[gnu::format(printf, 2, 3)]] void Trace(const char* location, const char* format, ...);
