#include "platform/Faults.h"

namespace kb {

namespace {
std::function<bool(FaultPoint)>& Injector() {
    static std::function<bool(FaultPoint)> injector;
    return injector;
}
}  // namespace

bool InjectFault(FaultPoint point) noexcept {
    return Injector() && Injector()(point);
}

void SetFaultInjector(std::function<bool(FaultPoint)> injector) {
    Injector() = std::move(injector);
}

}  // namespace kb
