#include "trace.h"

void Trace(const char*, const char*, ...) {}
