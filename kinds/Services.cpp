// The services and drivers: their reading, their moves, and what each entry
// is to the guard.
#include "kinds/Services.h"

#include <windows.h>

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
// driver's is a path, not a command line, relative to Windows' folder or
// under \SystemRoot\ or an NT path's drive; with none, in the drivers
// folder. A service's is its command line's program.
std::wstring ImageFileOf(const ServiceFacts& facts) {
    const std::wstring windows = WindowsFolder();
    std::wstring path = facts.Driver() ? facts.imagePath : SplitCommandLine(facts.imagePath).program;
    if (path.empty()) return facts.Driver() ? windows + L"\\System32\\drivers\\" + facts.name + L".sys" : L"";
    path = ExpandedEnvironment(path);
    if (path.starts_with(L"\\??\\")) path.erase(0, 4);
    if (FoldCase(path).starts_with(L"\\systemroot\\")) return windows + path.substr(11);
    // A driver's relative path is the kernel's, below Windows' folder; a
    // service's stays relative: the manager searches for it.
    if (facts.Driver() && path.size() > 1 && path[1] != L':' && path[0] != L'\\') return windows + L"\\" + path;
    return path;
}

// Whether the file is below Windows' folder, its path made whole first:
// a ".." in it leads anywhere.
bool InWindowsFolder(const std::wstring& file) {
    const std::wstring expanded = ExpandedEnvironment(file);
    if (expanded.size() < 3 || expanded[1] != L':') return false;  // relative: the manager searches for it
    std::wstring whole(MAX_PATH, L'\0');
    DWORD length = ::GetFullPathNameW(expanded.c_str(), static_cast<DWORD>(whole.size()), whole.data(), nullptr);
    if (length >= whole.size()) {
        whole.resize(length + 1);
        length = ::GetFullPathNameW(expanded.c_str(), static_cast<DWORD>(whole.size()), whole.data(), nullptr);
    }
    if (length == 0 || length >= whole.size()) return false;
    whole.resize(length);
    return FoldCase(whole).starts_with(FoldCase(WindowsFolder()) + L"\\");
}

// What Windows cannot start without: the services its logon, its
// elevation and its other services stand on, and the boot-start drivers
// of the groups the boot reads the system through (buses, disks, the file
// systems and the filters below them).
constexpr const wchar_t* kWindowsServices[] = {
    L"RpcSs", L"DcomLaunch", L"RpcEptMapper", L"LSM", L"SamSs", L"PlugPlay", L"Power",
    L"BrokerInfrastructure", L"ProfSvc", L"gpsvc", L"UserManager", L"CoreMessagingRegistrar",
    L"StateRepository", L"SystemEventsBroker", L"Appinfo",
};
constexpr const wchar_t* kBootGroups[] = {
    L"Boot Bus Extender", L"System Bus Extender", L"SCSI miniport", L"Primary Disk", L"SCSI Class",
    L"Boot File System", L"FSFilter Infrastructure", L"FSFilter Bottom", L"FSFilter Compression",
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
    // Only where what it runs is Windows' own file: a name alone is
    // anyone's to take on a Windows that has no such service.
    if (!InWindowsFolder(ImageFileOf(facts)) || (!facts.serviceDll.empty() && !InWindowsFolder(facts.serviceDll)))
        return false;
    if (NamedIn(facts.name, kWindowsServices)) return true;
    return facts.Driver() && facts.start == SERVICE_BOOT_START && NamedIn(facts.group, kBootGroups);
}

bool DisabledHere(const std::wstring& name) {
    const std::optional<ServiceFacts> facts = ReadServiceKey(name);
    const std::optional<ServiceConfig> config = QueryService(name);
    return facts && config && facts->start == SERVICE_DISABLED && config->start == SERVICE_DISABLED &&
           KeptServiceOf(name) && !WindowsNeeds(*facts);
}

DWORD StopServiceDisabledHere(const std::wstring& name) {
    return DisabledHere(name) ? StopService(name) : ERROR_INVALID_SERVICE_CONTROL;
}

std::vector<ServicePlace> Services::Places(bool) {
    return {ServicePlace{}};
}

std::wstring Services::LocationOf(const Place&, const StartupFolders&) {
    return ServicesLocation();
}

ChangeWatch::Place Services::WatchOf(const Place&, const StartupFolders&) {
    const ServicesKeyAt at = ServicesKey();
    // The manager's own word of a service made as well, where it gives one.
    return {ChangeWatch::Place::Kind::Key, at.root, at.path, 0, true, true};
}

void Services::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place&) {
        const ServiceKeysReading read = ReadServiceKeys(reading.breathe);
        if (read.error != ERROR_SUCCESS && read.error != ERROR_FILE_NOT_FOUND)
            reading.skipped.push_back(SkippedValue::Unreadable(
                ServicesLocation(), read.error == ERROR_ACCESS_DENIED ? WhyUnreadable::Denied
                                                                      : WhyUnreadable::ListingFailed,
                read.error));
        for (const std::wstring& name : read.refused)
            reading.skipped.push_back(
                SkippedValue::Unreadable(ServicesLocation() + L"\\" + name, WhyUnreadable::Denied, ERROR_ACCESS_DENIED));
        for (std::wstring name : read.misnamed) {
            std::replace(name.begin(), name.end(), L'\0', L'?');
            reading.skipped.push_back(SkippedValue::Unreadable(ServicesLocation() + L"\\" + name,
                                                               WhyUnreadable::ListingFailed, ERROR_INVALID_NAME));
        }
        const std::map<std::wstring, KeptService> kept = KeptServices();
        for (const ServiceFacts& facts : read.services) into.push_back(EntryOf(facts, kept));
    });
}

namespace {

MoveResult Answer(DWORD code) {
    return code == ERROR_ACCESS_DENIED ? MoveResult::NeedsAdministrator : MoveResult::CannotMove;
}

// The start type set, by the manager; or where it does not know the
// service yet (written into the registry, loaded only at the next boot)
// where that boot reads it. Windows' code.
DWORD SetStart(const std::wstring& name, DWORD start, bool managed) {
    if (managed) return SetServiceStart(name, start);
    try {
        WriteServiceStart(name, start);
        return ERROR_SUCCESS;
    } catch (const Error& error) {
        return error.Code() ? error.Code() : ERROR_WRITE_FAULT;
    }
}

// The start type now, as the manager and the next boot have it; none where
// they differ or it cannot be read.
std::optional<DWORD> StartNow(const std::wstring& name, bool managed) {
    const std::optional<ServiceFacts> read = ReadServiceKey(name);
    if (!read) return std::nullopt;
    if (!managed) return read->start;
    const std::optional<ServiceConfig> config = QueryService(name);
    if (!config || config->start != read->start) return std::nullopt;
    return read->start;
}

// Disabled, with what it started as kept first: a move cut short leaves a
// kept start type beside a service still as it was, which harms nothing.
MoveResult Disable(const ServiceFacts& now) {
    if (WindowsNeeds(now)) return MoveResult::WindowsNeedsIt;
    // What the registry holds is what the next boot starts, and what is
    // kept: the manager may still hold what it read before a writer went
    // past it. Whether delayed, as either has it.
    DWORD why = ERROR_SUCCESS;
    const std::optional<ServiceConfig> config = QueryService(now.name, &why);
    const bool managed = config.has_value();
    if (!managed && why != ERROR_SERVICE_DOES_NOT_EXIST) return Answer(why);
    const KeptService before{now.start,
                             now.start == SERVICE_AUTO_START && (now.delayed || (config && config->delayed))};
    try {
        KeepService(now.name, before);
    } catch (const Error& error) {
        ForgetService(now.name);
        return Answer(error.Code());
    }
    DWORD set = SetStart(now.name, SERVICE_DISABLED, managed);
    if (set == ERROR_SUCCESS && StartNow(now.name, managed) == DWORD{SERVICE_DISABLED}) return MoveResult::Moved;
    // A manager that did not answer may still make the change: the record
    // stays, so the service is then one disabled here and can be given back;
    // if the change never comes, a record beside it harms nothing.
    if (set == ERROR_TIMEOUT) return MoveResult::CannotMove;
    // The manager refused after the machine's store took the record: not a
    // matter of rights but of the service's own, which may deny any change
    // through the manager; where the next boot reads it is written instead.
    if (managed && set == ERROR_ACCESS_DENIED && SetStart(now.name, SERVICE_DISABLED, false) == ERROR_SUCCESS &&
        StartNow(now.name, false) == DWORD{SERVICE_DISABLED})
        return MoveResult::Moved;
    // Not disabled, or not where the next boot reads it: it starts as
    // before, and only then is its record forgotten.
    SetStart(now.name, before.start, managed);
    if (const std::optional<ServiceFacts> read = ReadServiceKey(now.name); read && read->start == before.start)
        ForgetService(now.name);
    return set == ERROR_ACCESS_DENIED ? MoveResult::CannotMove : Answer(set == ERROR_SUCCESS ? ERROR_INVALID_DATA : set);
}

// Given back only what the store keeps for it: one disabled by anyone else
// has no start type to go back to.
MoveResult Enable(const ServiceFacts& now) {
    const std::optional<KeptService> kept = KeptServiceOf(now.name);
    // Only a driver is loaded at boot by the loader or the system: a record
    // saying so of a service is none this program or that utility wrote.
    if (!kept || (!now.Driver() && kept->start < SERVICE_AUTO_START)) return MoveResult::CannotMove;
    DWORD why = ERROR_SUCCESS;
    const bool managed = QueryService(now.name, &why).has_value();
    if (!managed && why != ERROR_SERVICE_DOES_NOT_EXIST) return Answer(why);
    DWORD set = SetStart(now.name, kept->start, managed);
    // A start type's change leaves the delay as it was; only a delay
    // someone changed meanwhile is set again, and a delay the manager
    // refuses (a service now in a load-ordering group) starts it plainly
    // automatic.
    const bool delayed = kept->start == SERVICE_AUTO_START && kept->delayed;
    if (const std::optional<ServiceFacts> read = ReadServiceKey(now.name);
        set == ERROR_SUCCESS && read && read->delayed != delayed && managed)
        SetServiceDelayed(now.name, delayed);
    if (set != ERROR_SUCCESS || StartNow(now.name, managed) != kept->start) {
        // Not undone where the manager did not answer: the record stays
        // either way, and the next reading shows what the manager did.
        if (set != ERROR_TIMEOUT) SetStart(now.name, SERVICE_DISABLED, managed);
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
    // A driver's image is a path, never split at a blank.
    const ProgramAndArguments split =
        e.facts.Driver() ? ProgramAndArguments{ImageFileOf(e.facts), {}} : SplitCommandLine(e.facts.imagePath);
    EntryDetails details{split.program.empty() ? e.command : split.program, split.arguments,
                         ServicesLocation() + L"\\" + e.name, {}};
    details.service = EntryDetails::Service{e.facts.displayName, e.facts.account, e.facts.serviceDll,
                                            e.facts.start, e.facts.delayed, e.facts.Driver(),
                                            ServiceRuns(e.name).value_or(false), DependentsOf(e.name)};
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
    return {Services::kRecordWord, e.name, e.command};
}

std::optional<ServiceEntry> FromRecordLine(std::type_identity<ServiceEntry>, const std::vector<std::wstring>& line,
                                           const StartupFolders&) {
    if (line.size() != 3 || line[0] != Services::kRecordWord || line[1].empty() ||
        line[1].find_first_of(std::wstring(L"\\\0", 2)) != std::wstring::npos)
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
    return {Services::kRecordWord, e.name, e.command, std::to_wstring(e.facts.start)};
}

bool HeldAside(const ServiceEntry& e) {
    return !e.Enabled();
}

}  // namespace kb
