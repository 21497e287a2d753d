#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

namespace quaverly::fuzz {

void violated(const char *what, const QString &detail)
{
    std::fprintf(stderr, "Invariant violated: %s %s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

} // namespace quaverly::fuzz
