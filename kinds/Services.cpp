// The services and drivers: their reading, their moves, and what each entry
// is to the guard.
#include "kinds/Services.h"

#include <algorithm>
#include <map>

#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "kinds/ServiceStore.h"
#include "places/CommandLine.h"
#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/ServiceManager.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

// The file an image path names, as the manager and the kernel read it: a
// driver's relative to Windows' folder, \SystemRoot\ for that folder, an
// NT path's drive, and a driver with no path in the drivers folder.
std::wstring ImageFileOf(const ServiceFacts& facts) {
    const std::wstring windows = WindowsFolder();
    std::wstring path = SplitCommandLine(facts.imagePath).program;
    if (path.empty()) return facts.Driver() ? windows + L"\\System32\\drivers\\" + facts.name + L".sys" : L"";
    path = ExpandedEnvironment(path);
    if (path.starts_with(L"\\??\\")) path.erase(0, 4);
    if (FoldCase(path).starts_with(L"\\systemroot\\")) return windows + path.substr(11);
    if (path.size() > 1 && path[1] != L':' && path[0] != L'\\') return windows + L"\\" + path;
    return path;
}

// What Windows cannot start without: the services its logon and its other
// services stand on, and the boot's own driver groups (buses, disks and
// the file systems the system is read from).
constexpr const wchar_t* kWindowsServices[] = {
    L"RpcSs", L"DcomLaunch", L"RpcEptMapper", L"LSM", L"SamSs", L"PlugPlay", L"Power",
    L"BrokerInfrastructure", L"ProfSvc", L"gpsvc", L"UserManager", L"CoreMessagingRegistrar",
    L"StateRepository", L"SystemEventsBroker",
};
constexpr const wchar_t* kBootGroups[] = {
    L"Boot Bus Extender", L"System Bus Extender", L"SCSI miniport", L"Primary Disk", L"SCSI Class",
    L"Boot File System", L"Filter", L"FSFilter Infrastructure", L"Core", L"Base",
};

bool NamedIn(const std::wstring& text, const auto& names) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](const wchar_t* name) { return EqualIgnoringCase(text, name); });
}

ServiceEntry EntryOf(const ServiceFacts& facts, const std::map<std::wstring, KeptService>& kept) {
    ServiceEntry entry{facts.name, CommandOf(facts), facts, std::nullopt, facts.start <= SERVICE_AUTO_START};
    if (!entry.Enabled())
        if (const auto it = kept.find(FoldCase(facts.name)); it != kept.end()) entry.keptStart = it->second.start;
    return entry;
}

}  // namespace

std::wstring CommandOf(const ServiceFacts& facts) {
    std::wstring command = facts.imagePath.empty() && facts.Driver() ? ImageFileOf(facts) : facts.imagePath;
    if (!facts.serviceDll.empty()) command += L"; " + facts.serviceDll;
    return command;
}

bool WindowsNeeds(const ServiceFacts& facts) {
    // Only where it is Windows' own file: a name alone is anyone's to take
    // on a Windows that has no such service.
    const std::wstring windows = FoldCase(WindowsFolder()) + L"\\";
    if (!FoldCase(ImageFileOf(facts)).starts_with(windows)) return false;
    if (NamedIn(facts.name, kWindowsServices)) return true;
    return facts.Driver() && facts.start == SERVICE_BOOT_START && NamedIn(facts.group, kBootGroups);
}

std::vector<ServicePlace> Services::Places(bool) {
    return {ServicePlace{}};
}

std::wstring Services::LocationOf(const Place&, const StartupFolders&) {
    return ServicesLocation();
}

ChangeWatch::Place Services::WatchOf(const Place&, const StartupFolders&) {
    const ServicesKeyAt at = ServicesKey();
    return {ChangeWatch::Place::Kind::Key, at.root, at.path, 0, true};
}

void Services::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place&) {
        const ServiceKeysReading read = ReadServiceKeys(reading.breathe);
        if (read.error != ERROR_SUCCESS && read.error != ERROR_FILE_NOT_FOUND)
            reading.skipped.push_back(SkippedValue::Unreadable(
                ServicesLocation(), read.error == ERROR_ACCESS_DENIED ? WhyUnreadable::Denied
                                                                      : WhyUnreadable::ListingFailed,
                read.error));
        const std::map<std::wstring, KeptService> kept = KeptServices();
        for (const ServiceFacts& facts : read.services) into.push_back(EntryOf(facts, kept));
    });
}

namespace {

MoveResult Answer(DWORD code) {
    return code == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
}

// Disabled, with what it started as kept first: a move cut short leaves a
// kept start type beside a service still as it was, which harms nothing.
MoveResult Disable(const ServiceFacts& now) {
    if (WindowsNeeds(now)) return MoveResult::WindowsNeedsIt;
    // The manager's own word on how it starts now, which is what is kept;
    // whether delayed, as the registry holds it for the next boot.
    DWORD why = ERROR_SUCCESS;
    const std::optional<ServiceConfig> config = QueryService(now.name, &why);
    if (!config) return Answer(why);
    if (config->start != now.start) return MoveResult::Changed;
    const KeptService before{now.start, now.start == SERVICE_AUTO_START && (now.delayed || config->delayed)};
    try {
        KeepService(now.name, before);
    } catch (const Error& error) {
        ForgetService(now.name);
        return Answer(error.Code());
    }
    const DWORD set = SetServiceStart(now.name, SERVICE_DISABLED);
    const std::optional<ServiceConfig> after = QueryService(now.name);
    const std::optional<ServiceFacts> read = ReadServiceKey(now.name);
    if (set == ERROR_SUCCESS && after && after->start == SERVICE_DISABLED && read && read->start == SERVICE_DISABLED)
        return MoveResult::Moved;
    // Not disabled, or not where the next boot reads it: it starts as before.
    if (after && after->start != before.start) SetServiceStart(now.name, before.start);
    ForgetService(now.name);
    return Answer(set == ERROR_SUCCESS ? ERROR_INVALID_DATA : set);
}

// Given back only what the store keeps for it: one disabled by anyone else
// has no start type to go back to.
MoveResult Enable(const ServiceFacts& now) {
    const std::optional<KeptService> kept = KeptServiceOf(now.name);
    if (!kept) return MoveResult::CannotMove;
    DWORD set = SetServiceStart(now.name, kept->start);
    std::optional<ServiceFacts> read = ReadServiceKey(now.name);
    // A start type's change leaves the delay as it was; only a delay
    // someone changed meanwhile is set again.
    const bool delayed = kept->start == SERVICE_AUTO_START && kept->delayed;
    if (set == ERROR_SUCCESS && read && read->start == kept->start && read->delayed != delayed) {
        set = SetServiceDelayed(now.name, delayed);
        read = ReadServiceKey(now.name);
    }
    const std::optional<ServiceConfig> after = QueryService(now.name);
    if (set != ERROR_SUCCESS || !after || after->start != kept->start || !read || read->start != kept->start ||
        (kept->start == SERVICE_AUTO_START && read->delayed != delayed)) {
        if (after && after->start != SERVICE_DISABLED) SetServiceStart(now.name, SERVICE_DISABLED);
        return Answer(set == ERROR_SUCCESS ? ERROR_INVALID_DATA : set);
    }
    // What starts again no longer needs keeping; a record left behind is
    // harmless, as the utility shows the service enabled all the same.
    ForgetService(now.name);
    return MoveResult::Moved;
}

}  // namespace

MoveResult Services::Move(const Entry& e, const StartupFolders&) {
    const std::optional<ServiceFacts> now = ReadServiceKey(e.name);
    if (!now || CommandOf(*now) != e.command || now->start != e.facts.start) return MoveResult::Changed;
    return e.Enabled() ? Disable(*now) : Enable(*now);
}

EntryText Services::TextOf(const Entry& e) {
    EntryText text{e.name, e.command, ServicesLocation(), e.Enabled()};
    text.service = EntryText::Service{e.facts.displayName, e.facts.start, e.facts.delayed, e.facts.Driver()};
    return text;
}

EntryDetails Services::DetailsOf(const Entry& e) {
    if (!e.Enabled()) return {};
    const ProgramAndArguments split = SplitCommandLine(e.facts.imagePath);
    EntryDetails details{split.program.empty() ? e.command : split.program, split.arguments,
                         ServicesLocation() + L"\\" + e.name, {}};
    details.service = EntryDetails::Service{e.facts.displayName, e.facts.account, e.facts.serviceDll,
                                            e.facts.start, e.facts.delayed, e.facts.Driver(),
                                            ServiceRuns(e.name), DependentsOf(e.name)};
    return details;
}

bool Starts(const ServiceEntry& e) {
    return e.starts;
}

bool AlwaysAsked(const ServiceEntry& e) {
    return e.facts.Driver() && e.facts.start <= SERVICE_SYSTEM_START;
}

std::wstring IdentityOf(const ServiceEntry& e) {
    return ServicesLocation() + L"\n" + e.name + L"\n" + e.command;
}

std::wstring KnownStateOf(const ServiceEntry& e) {
    return IdentityOf(e) + L"\n" + std::to_wstring(e.facts.start) + L"\n" + (e.starts ? L"starts" : L"");
}

bool OfTheMachine(const ServiceEntry&) {
    return true;
}

std::wstring PlaceReadOf(const ServiceEntry&, const StartupFolders&) {
    return ServicesLocation();
}

bool SameEntry(const ServiceEntry& a, const ServiceEntry& b, const StartupFolders&) {
    return EqualIgnoringCase(a.name, b.name);
}

std::wstring IndexKey(const ServiceEntry& e, const StartupFolders&) {
    return FoldCase(e.name);
}

std::vector<std::wstring> RecordLine(const ServiceEntry& e, const StartupFolders&) {
    return {L"service", e.name, e.command};
}

std::optional<ServiceEntry> FromRecordLine(std::type_identity<ServiceEntry>, const std::vector<std::wstring>& line,
                                           const StartupFolders&) {
    if (line.size() != 3 || line[0] != L"service" || line[1].empty() ||
        line[1].find(L'\\') != std::wstring::npos)
        return std::nullopt;
    ServiceEntry entry{line[1], line[2], {}, std::nullopt, true};
    entry.facts.name = line[1];
    entry.facts.start = SERVICE_AUTO_START;
    return entry;
}

void KnowMoved(const ServiceEntry& e, const StartupFolders&, LiveEntries& known) {
    // Given back, it is known as it starts again; disabled, it is read as it is now.
    if (e.Enabled() || !e.keptStart) return;
    ServiceEntry on = e;
    on.facts.start = *e.keptStart;
    on.keptStart.reset();
    on.starts = on.facts.start <= SERVICE_AUTO_START;
    ListOf<ServiceEntry>(known).push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const ServiceEntry& e) {
    return {L"service", e.name, e.command, std::to_wstring(e.facts.start)};
}

bool HeldAside(const ServiceEntry& e) {
    return !e.Enabled();
}

}  // namespace kb
