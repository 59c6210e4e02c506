#include "platform/Faults.h"

#include "platform/Files.h"
#include "platform/ServiceCall.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

std::function<bool(FaultPoint)>& Injector() {
    static std::function<bool(FaultPoint)> injector;
    return injector;
}

struct StandardUser {
    bool on = false;
    std::vector<std::wstring> protectedFolders;  // full paths
};

StandardUser& Mode() {
    static StandardUser mode;
    return mode;
}

unsigned long writeOpens = 0;

}  // namespace

bool InjectFault(FaultPoint point) noexcept {
    return Injector() && Injector()(point);
}

void SetFaultInjector(std::function<bool(FaultPoint)> injector) {
    Injector() = std::move(injector);
}

void SetStandardUserMode(bool on, std::vector<std::wstring> protectedFolders) {
    for (std::wstring& folder : protectedFolders) {
        folder = FullPath(folder);
        while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    }
    Mode() = {on, std::move(protectedFolders)};
}

bool StandardUserMode() noexcept {
    return Mode().on;
}

bool WriteRefused(HKEY root) noexcept {
    return Mode().on && root == HKEY_LOCAL_MACHINE;
}

bool WriteRefused(const std::wstring& path) {
    if (!Mode().on) return false;
    const std::wstring full = FullPath(path);
    for (const std::wstring& folder : Mode().protectedFolders) {
        if (folder.empty() || full.size() < folder.size()) continue;
        // The folder itself, or anything below it.
        if (EqualIgnoringCase(full.substr(0, folder.size()), folder) &&
            (full.size() == folder.size() || full[folder.size()] == L'\\'))
            return true;
    }
    return false;
}

void CountWriteOpen() noexcept {
    ++writeOpens;
}

unsigned long WriteOpens() noexcept {
    return writeOpens;
}

namespace {

// One manual-reset event per service, set while it answers.
HANDLE AnswerEvent(SystemService service) {
    static HANDLE events[3] = {::CreateEventW(nullptr, TRUE, TRUE, nullptr),
                               ::CreateEventW(nullptr, TRUE, TRUE, nullptr),
                               ::CreateEventW(nullptr, TRUE, TRUE, nullptr)};
    return events[static_cast<int>(service)];
}

}  // namespace

void SetServiceSilent(SystemService service, bool silent) {
    if (silent)
        ::ResetEvent(AnswerEvent(service));
    else
        ::SetEvent(AnswerEvent(service));
}

void WaitWhileServiceSilent(SystemService service) noexcept {
    ::WaitForSingleObject(AnswerEvent(service), INFINITE);
}

}  // namespace kb
