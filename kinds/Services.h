#pragma once
// The services and drivers: each one the service control manager knows is
// an entry, and one that starts at boot or on its own starts something. A
// disabled service stays where it is, with its start type disabled and the
// one before kept where the System Configuration utility keeps it.
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kinds/Kind.h"
#include "kinds/ServiceKeys.h"

namespace kb {

// The Services key, where ServicesKey() finds it.
struct ServicePlace {
    bool operator==(const ServicePlace&) const = default;
};

struct ServiceEntry {
    std::wstring name;     // the service's, its key's name
    std::wstring command;  // what it starts: its image, and a shared service's library
    ServiceFacts facts;
    // The start type the store keeps for it, while it is disabled.
    std::optional<DWORD> keptStart = {};
    // Whether it starts at boot or by itself; what was known of it across
    // runs, for one read back from the record, which keeps no facts.
    bool starts = false;
    bool Enabled() const { return facts.start != SERVICE_DISABLED; }
};

struct Services {
    using Place = ServicePlace;
    using Entry = ServiceEntry;

    static std::vector<Place> Places(bool windows64);
    static std::wstring LocationOf(const Place&, const StartupFolders&);
    // The whole tree: a service's values, and its Parameters, are its own keys.
    static ChangeWatch::Place WatchOf(const Place& place, const StartupFolders& folders);
    static std::optional<PlaceStamp> StampOf(const Place&) { return std::nullopt; }
    static void Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into);
    // Disabled as the System Configuration utility disables it, or given
    // back the start type that utility keeps for it.
    static MoveResult Move(const Entry& entry, const StartupFolders& folders);
    static bool WritesMachinePlaces(const Entry&) { return true; }
    static constexpr int kPassOrder = 5;
    // The first word of its entries' lines in the record.
    static constexpr const wchar_t* kRecordWord = L"service";
    static EntryText TextOf(const Entry& entry);
    static EntryDetails DetailsOf(const Entry& entry);
};

// What a service starts, as one text: its image, and a shared service's
// library after it.
std::wstring CommandOf(const ServiceFacts& facts);
// Whether Windows needs it to start: a service the system cannot run
// without, or a driver of the boot's own groups. Never disabled.
bool WindowsNeeds(const ServiceFacts& facts);
// Whether it is disabled as this program disables: in the manager and the
// registry, with its start kept in the store, and not one Windows needs.
bool DisabledHere(const std::wstring& name);
// Stops a running service the user disabled here and asked to stop too:
// only one DisabledHere. The elevated instance stops nothing else, whoever
// asks. Not on a window's thread (StopService).
// Windows' code; ERROR_INVALID_SERVICE_CONTROL for any other service.
DWORD StopServiceDisabledHere(const std::wstring& name);

bool Starts(const ServiceEntry& e);
// A driver the boot loader or the kernel starts is always asked about,
// never disabled silently.
bool AlwaysAsked(const ServiceEntry& e);
std::wstring IdentityOf(const ServiceEntry& e);
std::wstring KnownStateOf(const ServiceEntry& e);
bool OfTheMachine(const ServiceEntry& e);
std::wstring PlaceReadOf(const ServiceEntry& e, const StartupFolders& folders);
bool SameEntry(const ServiceEntry& a, const ServiceEntry& b, const StartupFolders& folders);
std::wstring IndexKey(const ServiceEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const ServiceEntry& e, const StartupFolders& folders);
std::optional<ServiceEntry> FromRecordLine(std::type_identity<ServiceEntry>, const std::vector<std::wstring>& line,
                                           const StartupFolders& folders);
void KnowMoved(const ServiceEntry& e, const StartupFolders& folders, LiveEntries& known);
std::vector<std::wstring> KeyTextsOf(const ServiceEntry& e);
bool HeldAside(const ServiceEntry& e);

}  // namespace kb
