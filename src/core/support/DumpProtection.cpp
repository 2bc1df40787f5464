#include "support/DumpProtection.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <sys/resource.h>
#endif

namespace quorvane {

void protectFromDumps()
{
#ifdef Q_OS_LINUX
    const rlimit none {};
    setrlimit(RLIMIT_CORE, &none);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

} // namespace quorvane
