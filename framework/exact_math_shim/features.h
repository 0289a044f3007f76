/* musl's data headers include <features.h> for its `hidden` attribute. glibc has a features.h of
 * its own that its other headers need; mingw-w64 has none. */
#ifndef VT4R_MUSL_FEATURES_H
#define VT4R_MUSL_FEATURES_H
#if defined(__has_include_next)
#if __has_include_next(<features.h>)
#include_next <features.h>
#endif
#endif
/* Every musl symbol carries our prefix (musl_names.h): nothing needs hiding. */
#define hidden
#endif
