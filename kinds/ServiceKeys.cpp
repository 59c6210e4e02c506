#include "kinds/ServiceKeys.h"

#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "kinds/Kind.h"
#include "platform/Clock.h"
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
    // As the loaders read it: its first four bytes, whatever its type says.
    const std::optional<RegValue> value = key.TryQuery(name);
    if (!value || value->data.size() < sizeof(DWORD)) return none;
    DWORD number = 0;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::wstring TextOf(const RegKey& key, const wchar_t* name) {
    const std::optional<RegValue> value = key.TryQuery(name);
    return value && value->IsText() ? value->Text() : L"";
}

// The per-user instance of a template service (Windows 10 and later):
// made at each sign-in and deleted at sign-out, it is its template's.
constexpr DWORD kUserServiceInstance = 0x80;

// The types the manager starts: drivers and services in their own process
// or a shared one, per-user templates included, never their instances. A
// key without one (an event source, a leftover) is none.
bool IsServiceType(DWORD type) {
    if (type & SERVICE_DRIVER) return true;
    return (type & SERVICE_WIN32) != 0 && (type & kUserServiceInstance) == 0;
}

// Whether the service is a library its host loads: a shared service, or
// one that svchost hosts in a process of its own.
bool HostsLibrary(DWORD type, const std::wstring& imagePath) {
    if (type & SERVICE_WIN32_SHARE_PROCESS) return true;
    return (type & SERVICE_WIN32_OWN_PROCESS) && FoldCase(imagePath).find(L"svchost.exe") != std::wstring::npos;
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
    // A driver's ObjectName names its driver object, not an account.
    if (facts.Driver()) facts.account.clear();
    if (HostsLibrary(type, facts.imagePath)) {
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

// Every few minutes each service is read whole again, whatever its times
// say: a writer with the rights may set a key's time back.
constexpr double kWholeReadingEveryMs = 5 * 60 * 1000;
// A key written this shortly before a reading may be written again within
// the same tick of the clock the registry stamps it with: it is read again
// until its time is older.
constexpr ULONGLONG kRecentWrite = 2ull * 10'000'000;  // in FILETIME's 100 ns

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

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
    static std::optional<double> lastWhole;
    const std::lock_guard hold(lock);
    if (!lastWhole || MillisecondsNow() - *lastWhole >= kWholeReadingEveryMs) {
        cache.clear();
        lastWhole = MillisecondsNow();
    }
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);

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
        // A name with a NUL in it (made below the registry's own functions)
        // opens another service by the part before it: never read as that one.
        if (name.find(L'\0') != std::wstring::npos) {
            reading.misnamed.push_back(name);
            continue;
        }
        const std::wstring folded = FoldCase(name);
        seen.insert(folded);
        const auto known = cache.find(folded);
        const bool shared = known != cache.end() && known->second.facts &&
                            HostsLibrary(known->second.facts->type, known->second.facts->imagePath);
        std::optional<OpenedKey> key;
        if (known != cache.end() && SameTime(known->second.written, written) && known->second.facts &&
            known->second.facts->name == name && Ticks(written) + kRecentWrite < Ticks(now)) {
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
        if (!*key) {
            // Gone since it was listed is none; one this reader may not open is said.
            if (key->Refused()) reading.refused.push_back(name);
            continue;
        }
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

void WriteServiceStart(const std::wstring& name, DWORD start) {
    const ServicesKeyAt at = ServicesKey();
    OpenedKey key = RegKey::OpenForWriting(at.root, at.path + L"\\" + name);
    if (!key) throw Error(L"Failed to open the service '" + name + L"'", key.Error());
    key->WriteNumber(L"Start", start);
}

}  // namespace kb
