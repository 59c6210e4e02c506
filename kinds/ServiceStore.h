#pragma once
// The services the System Configuration utility keeps as disabled: what
// each started as before, so that it can be given back. Vista and later
// keep a subkey named after the service, holding a number of the same name
// and the date it was disabled; XP keeps the number in the store's own key.
// Both are read; each Windows is written in its own form. The store is the
// machine's, which only administrators write.
#include <windows.h>

#include <map>
#include <optional>
#include <string>

namespace kb {

struct KeptService {
    DWORD start = SERVICE_AUTO_START;
    bool delayed = false;  // a delayed automatic start, as this program keeps it
    bool operator==(const KeptService&) const = default;
};

// Every service kept, by its name folded to one case. One whose number is
// no start type a service can be given back to is none.
std::map<std::wstring, KeptService> KeptServices();
std::optional<KeptService> KeptServiceOf(const std::wstring& name);

// Keeps it, in this Windows' form, with today's date; raises Error.
void KeepService(const std::wstring& name, const KeptService& kept);
// Forgets it in either form; Windows' code (ERROR_SUCCESS when gone).
LONG ForgetService(const std::wstring& name);

}  // namespace kb
