#include "kinds/ServiceKeys.h"

#include <map>
#include <mutex>
#include <set>

#include "kinds/Kind.h"
#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

constexpr wchar_t kServicesPath[] = L"SYSTEM\\CurrentControlSet\\Services";

std::optional<ServicesKeyAt>& TestKey() {
    static std::optional<ServicesKeyAt> key;
    return key;
}

DWORD NumberOf(const RegKey& key, const wchar_t* name, DWORD none) {
    const std::optional<RegValue> value = key.TryQuery(name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return none;
    return *reinterpret_cast<const DWORD*>(value->data.data());
}

std::wstring TextOf(const RegKey& key, const wchar_t* name) {
    const std::optional<RegValue> value = key.TryQuery(name);
    return value && value->IsText() ? value->Text() : L"";
}

// The types the manager starts: drivers and services in their own process
// or a shared one, per-user templates included. A key without one (an event
// source, a leftover) is none.
bool IsServiceType(DWORD type) {
    return (type & (SERVICE_DRIVER | SERVICE_WIN32)) != 0;
}

// A key's stamp and its Parameters key's, where a shared service's library is named.
struct KeyStamps {
    std::optional<RegKey::Stamp> key, parameters;
    bool operator==(const KeyStamps&) const = default;
};

std::optional<ServiceFacts> ReadFacts(const RegKey& key, const std::wstring& name) {
    const DWORD type = NumberOf(key, L"Type", 0);
    if (!IsServiceType(type)) return std::nullopt;
    ServiceFacts facts{name,
                       TextOf(key, L"DisplayName"),
                       TextOf(key, L"ImagePath"),
                       {},
                       TextOf(key, L"ObjectName"),
                       TextOf(key, L"Group"),
                       type,
                       NumberOf(key, L"Start", SERVICE_DISABLED),
                       NumberOf(key, L"ErrorControl", 0),
                       NumberOf(key, L"DelayedAutostart", 0) != 0};
    if (type & SERVICE_WIN32_SHARE_PROCESS) {
        // Vista and later name the library under Parameters; XP's older
        // services beside the rest.
        const OpenedKey parameters = RegKey::OpenForReading(key.get(), L"Parameters");
        if (parameters) facts.serviceDll = TextOf(*parameters, L"ServiceDll");
        if (facts.serviceDll.empty()) facts.serviceDll = TextOf(key, L"ServiceDll");
    }
    return facts;
}

struct Cached {
    KeyStamps stamps;
    std::optional<ServiceFacts> facts;
};

}  // namespace

ServicesKeyAt ServicesKey() {
    return TestKey() ? *TestKey() : ServicesKeyAt{HKEY_LOCAL_MACHINE, kServicesPath};
}

void SetServicesKeyForTesting(std::optional<ServicesKeyAt> key) {
    TestKey() = std::move(key);
}

std::wstring ServicesLocation() {
    return std::wstring(L"HKLM\\") + kServicesPath;
}

ServiceKeysReading ReadServiceKeys(const std::function<bool()>& breathe) {
    // The same services at every check, by name, with the stamps they were
    // read at; one reading at a time (the guard's, or the elevated instance's).
    static std::mutex lock;
    static std::map<std::wstring, Cached> cache;
    const std::lock_guard hold(lock);

    ServiceKeysReading reading;
    const ServicesKeyAt at = ServicesKey();
    const OpenedKey services = RegKey::OpenForReading(at.root, at.path);
    if (!services) {
        reading.error = services.Error();
        return reading;
    }
    std::vector<std::wstring> names;
    try {
        names = services->SubkeyNames();
    } catch (const Error& e) {
        reading.error = e.Code() ? e.Code() : ERROR_INVALID_DATA;
        return reading;
    }
    std::set<std::wstring> seen;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (breathe && i % 64 == 63 && !breathe()) throw ReadingStopped();
        const std::wstring& name = names[i];
        const OpenedKey key = RegKey::OpenForReading(services->get(), name);
        if (!key) continue;  // gone since it was listed, or not readable: no service to this reader
        const OpenedKey parameters = RegKey::OpenForReading(key->get(), L"Parameters");
        const KeyStamps stamps{key->StampNow(), parameters ? parameters->StampNow() : std::nullopt};
        const std::wstring folded = FoldCase(name);
        seen.insert(folded);
        Cached& cached = cache[folded];
        if (!cached.stamps.key || !(cached.stamps == stamps) || (cached.facts && cached.facts->name != name)) {
            try {
                cached = {stamps, ReadFacts(*key, name)};
            } catch (const Error&) {
                cached = {{}, std::nullopt};  // read again next time
                continue;
            }
        }
        if (cached.facts) reading.services.push_back(*cached.facts);
    }
    std::erase_if(cache, [&](const auto& entry) { return !seen.contains(entry.first); });
    return reading;
}

std::optional<ServiceFacts> ReadServiceKey(const std::wstring& name) {
    const ServicesKeyAt at = ServicesKey();
    const OpenedKey key = RegKey::OpenForReading(at.root, at.path + L"\\" + name);
    if (!key) return std::nullopt;
    return ReadFacts(*key, name);
}

}  // namespace kb
