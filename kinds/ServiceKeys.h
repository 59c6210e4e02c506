#pragma once
// The services and drivers as the registry holds them: each subkey of the
// Services key with the type of a service or a driver. The service control
// manager reads its configuration from there at boot, and everyone may
// read it. A service's values are read again only when its key, or its
// Parameters key, was written since (as the listing of the Services key
// tells without opening it): a change costs that one service. A per-user
// instance of a template service is none: its template is the service.
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kb {

struct ServiceFacts {
    std::wstring name, displayName, imagePath, serviceDll, account, group;
    DWORD type = 0, start = SERVICE_DISABLED, errorControl = 0;
    bool delayed = false;
    bool operator==(const ServiceFacts&) const = default;
    bool Driver() const { return (type & SERVICE_DRIVER) != 0; }
};

// Where the services' keys are read from.
struct ServicesKeyAt {
    HKEY root;
    std::wstring path;
};
ServicesKeyAt ServicesKey();
// Tests only: the machine's own key, opened before anything stood in for
// the machine's root; none ends it.
void SetServicesKeyForTesting(std::optional<ServicesKeyAt> key);
// As the list and the records name the place.
std::wstring ServicesLocation();

struct ServiceKeysReading {
    std::vector<ServiceFacts> services = {};
    DWORD error = ERROR_SUCCESS;  // why the key itself could not be listed
    std::vector<std::wstring> refused = {};   // the services' keys this reader may not open
    std::vector<std::wstring> misnamed = {};  // keys whose names no service can have (a NUL in them)
};

// Every service and driver, in the listing's order. The breather, where
// given, is asked now and then, and stops the reading (ReadingStopped)
// when it answers false.
ServiceKeysReading ReadServiceKeys(const std::function<bool()>& breathe = {});

// One service read now, past what was read before; none where it is not
// there or is no service.
std::optional<ServiceFacts> ReadServiceKey(const std::wstring& name);

// Writes its start type where the next boot reads it: for a service the
// manager does not know yet (written into the registry, not made through
// the manager), which it loads only at the next boot. Raises Error.
void WriteServiceStart(const std::wstring& name, DWORD start);

}  // namespace kb
