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

// A service as last read: when its key was written then, and its
// Parameters key's stamp for a shared service, whose library is named there.
struct Cached {
    FILETIME written{};
    std::optional<RegKey::Stamp> parameters;
    std::optional<ServiceFacts> facts;
};

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

std::optional<RegKey::Stamp> ParametersStamp(const RegKey& key) {
    const OpenedKey parameters = RegKey::OpenForReading(key.get(), L"Parameters");
    return parameters ? parameters->StampNow() : std::nullopt;
}

// Every so many readings, each service is read whole again whatever its
// times say: a writer with the rights may set a key's time back.
constexpr unsigned kReadingsBetweenWholeOnes = 100;

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
    // The same services at every check, by name, with when they were read;
    // one reading at a time (the guard's, or the elevated instance's).
    static std::mutex lock;
    static std::map<std::wstring, Cached> cache;
    static unsigned readings = 0;
    const std::lock_guard hold(lock);
    if (++readings % kReadingsBetweenWholeOnes == 0) cache.clear();

    ServiceKeysReading reading;
    const ServicesKeyAt at = ServicesKey();
    const OpenedKey services = RegKey::OpenForReading(at.root, at.path);
    if (!services) {
        reading.error = services.Error();
        return reading;
    }
    // The listing gives each key's last write without opening it: only a
    // service written since, or a shared one's Parameters, is opened.
    std::vector<std::pair<std::wstring, FILETIME>> listed;
    try {
        listed = services->SubkeysWritten();
    } catch (const Error& e) {
        reading.error = e.Code() ? e.Code() : ERROR_INVALID_DATA;
        return reading;
    }
    std::set<std::wstring> seen;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (breathe && i % 64 == 63 && !breathe()) throw ReadingStopped();
        const auto& [name, written] = listed[i];
        const std::wstring folded = FoldCase(name);
        seen.insert(folded);
        const auto known = cache.find(folded);
        const bool shared = known != cache.end() && known->second.facts &&
                            (known->second.facts->type & SERVICE_WIN32_SHARE_PROCESS);
        std::optional<OpenedKey> key;
        if (known != cache.end() && SameTime(known->second.written, written) && known->second.facts &&
            known->second.facts->name == name) {
            if (!shared) {
                reading.services.push_back(*known->second.facts);
                continue;
            }
            key.emplace(RegKey::OpenForReading(services->get(), name));
            if (*key && ParametersStamp(**key) == known->second.parameters) {
                reading.services.push_back(*known->second.facts);
                continue;
            }
        }
        if (!key) key.emplace(RegKey::OpenForReading(services->get(), name));
        if (!*key) continue;  // gone since it was listed, or not readable: no service to this reader
        try {
            Cached read{written, ParametersStamp(**key), ReadFacts(**key, name)};
            if (read.facts) reading.services.push_back(*read.facts);
            cache[folded] = std::move(read);
        } catch (const Error&) {
            cache.erase(folded);  // read again next time
        }
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
