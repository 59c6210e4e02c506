#include "platform/Clock.h"

#include <windows.h>

namespace kb {

double MillisecondsNow() noexcept {
    // Both calls always succeed on XP and later.
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace kb
