// Services and drivers as guarded places, through the prefix's own service
// manager: a new automatic service is disabled as the System Configuration
// utility disables it, its start type kept in that utility's store, listed,
// and given back exactly; which services are new; what Windows needs is
// never disabled; and a start type kept by the utility itself, in either
// Windows' form, comes back.
#include <winternl.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "CoreHarness.h"
#include "guard/Guard.h"
#include "kinds/ServiceStore.h"
#include "platform/Handle.h"
#include "platform/ServiceManager.h"
#include "ProbeService.h"

namespace kb::test {
namespace {

const std::wstring kStore = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\services";

class ServicePlaces : public CoreTest {
protected:
    // The machine's own Services key, opened before the sandbox stands in
    // for the machine's root: the manager writes there. These tests run one
    // at a time, and remove every service they make.
    static void SetUpTestSuite() {
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet", 0, KEY_READ | KEY_NOTIFY,
                        controlSet_.put());
    }
    static void TearDownTestSuite() { controlSet_.reset(); }
    void SetUp() override {
        CoreTest::SetUp();
        ASSERT_TRUE(controlSet_);
        SetServicesKeyForTesting(ServicesKeyAt{controlSet_.get(), L"Services"});
        guard_.emplace(Folders());
        guard_->Reload();
    }
    void TearDown() override {
        guard_.reset();
        for (const std::wstring& name : made_) DeleteProbeService(name);
        for (const std::wstring& name : written_) ::RegDeleteTreeW(controlSet_.get(), (L"Services\\" + name).c_str());
        for (const std::wstring& name : written_) ::RegDeleteKeyW(controlSet_.get(), (L"Services\\" + name).c_str());
        SetServicesKeyForTesting(std::nullopt);
        CoreTest::TearDown();
    }

    void Make(const std::wstring& name, DWORD type, DWORD start, const std::wstring& binary, bool delayed = false) {
        const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const UniqueService service(::CreateServiceW(manager.get(), name.c_str(), (name + L" Display").c_str(),
                                                     SERVICE_ALL_ACCESS, type, start, SERVICE_ERROR_NORMAL,
                                                     binary.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(service) << ::GetLastError();
        made_.push_back(name);
        // Delayed as the registry keeps it for the next boot: Wine's manager
        // takes no delay through ChangeServiceConfig2.
        if (delayed) {
            const DWORD on = 1;
            SetRawValue(controlSet_.get(), L"Services\\" + name, L"DelayedAutostart", REG_DWORD, &on, sizeof on);
        }
    }
    // What is there now is known (a first start), and later checks act.
    void Learn() {
        guard_.emplace(Folders());
        guard_->Reload();
        Check();
    }
    void Check(Decision answer = Decision::Disable) {
        asked_.clear();
        guard_->Check(
            Policy::DisableSilently,
            [&](const StartupEntry& entry) {
                if (const auto* service = std::get_if<ServiceEntry>(&entry)) asked_.push_back(service->name);
                return answer;
            },
            [](const StartupEntry&) {});
    }
    std::optional<ServiceEntry> Listed(const std::wstring& name) {
        for (const ServiceEntry& e : guard_->Listed().live.Of<ServiceEntry>())
            if (EqualIgnoringCase(e.name, name)) return e;
        return std::nullopt;
    }
    static DWORD StartOf(const std::wstring& name) { return QueryService(name).value_or(ServiceConfig{}).start; }

    static inline UniqueKey controlSet_;
    std::optional<StartupGuard> guard_;
    std::vector<std::wstring> made_, written_;
    std::vector<std::wstring> asked_;
};

TEST_F(ServicePlaces, ANewServiceIsDisabledKeptListedAndGivenBackExact) {
    Learn();
    Make(L"KbProbeUpdater", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\updater.exe /service", true);
    Check();
    EXPECT_EQ(StartOf(L"KbProbeUpdater"), DWORD{SERVICE_DISABLED}) << "the manager's own answer";
    // Kept where the System Configuration utility keeps it, in its form.
    const std::wstring kept = kStore + L"\\KbProbeUpdater";
    EXPECT_EQ(ReadRawValue(HKEY_LOCAL_MACHINE, kept, L"KbProbeUpdater").type, DWORD{REG_DWORD});
    EXPECT_EQ(KeptServiceOf(L"KbProbeUpdater"), (KeptService{SERVICE_AUTO_START, true}));
    EXPECT_TRUE(ReadRawValue(HKEY_LOCAL_MACHINE, kept, L"YEAR").exists);

    Check();  // as the watch does, woken by the switch itself
    const std::optional<ServiceEntry> listed = Listed(L"KbProbeUpdater");
    ASSERT_TRUE(listed);
    EXPECT_FALSE(Services::TextOf(*listed).enabled);
    EXPECT_EQ(listed->command, L"C:\\Vendor\\updater.exe /service");

    ASSERT_EQ(guard_->Move(*listed), MoveResult::Moved);
    EXPECT_EQ(StartOf(L"KbProbeUpdater"), DWORD{SERVICE_AUTO_START});
    const std::optional<ServiceFacts> back = ReadServiceKey(L"KbProbeUpdater");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->delayed) << "delayed as it was";
    EXPECT_FALSE(RawKeyExists(HKEY_LOCAL_MACHINE, kept)) << "no longer kept";
    Check();
    EXPECT_EQ(StartOf(L"KbProbeUpdater"), DWORD{SERVICE_AUTO_START}) << "enabled from the list, it is known";
}

// Which services are new: one that starts by itself, a known one whose
// program is rewritten or whose start is raised; never one that waits to be
// asked. A driver the boot loads is asked about even when new ones are
// disabled without a word.
TEST_F(ServicePlaces, WhatStartsByItselfIsNewAndABootDriverIsAsked) {
    Make(L"KbProbeKnown", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\known.exe");
    Make(L"KbProbeRaised", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\Vendor\\raised.exe");
    Learn();
    Make(L"KbProbeOnDemand", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\Vendor\\ondemand.exe");
    Make(L"KbProbeDriver", SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, L"\\??\\C:\\Vendor\\probe.sys");
    // Raised where the next boot reads it, past the manager, which still holds it manual.
    Make(L"KbProbeRegistryRaised", SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"C:\\Vendor\\past.exe");
    const DWORD automatic = SERVICE_AUTO_START;
    SetRawValue(controlSet_.get(), L"Services\\KbProbeRegistryRaised", L"Start", REG_DWORD, &automatic,
                sizeof automatic);
    SetStringValue(controlSet_.get(), L"Services\\KbProbeKnown", L"ImagePath", L"C:\\Elsewhere\\other.exe",
                   REG_EXPAND_SZ);
    {
        const UniqueService manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        const UniqueService raised(::OpenServiceW(manager.get(), L"KbProbeRaised", SERVICE_CHANGE_CONFIG));
        ASSERT_TRUE(::ChangeServiceConfigW(raised.get(), SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    Check(Decision::Allow);
    const std::vector<std::wstring> asked = asked_;
    Check();  // as the watch does, woken by the moves themselves
    const struct {
        const wchar_t* name;
        DWORD start;
    } cases[] = {
        {L"KbProbeKnown", SERVICE_DISABLED},
        {L"KbProbeRaised", SERVICE_DISABLED},
        {L"KbProbeOnDemand", SERVICE_DEMAND_START},
        {L"KbProbeDriver", SERVICE_SYSTEM_START},
        {L"KbProbeRegistryRaised", SERVICE_DISABLED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        EXPECT_EQ(ReadRawValue(controlSet_.get(), std::wstring(L"Services\\") + c.name, L"Start").exists, true);
        EXPECT_EQ(StartOf(c.name), c.start);
        EXPECT_TRUE(Listed(c.name)) << "listed, whatever its start";
    }
    EXPECT_EQ(asked, std::vector<std::wstring>{L"KbProbeDriver"}) << "only the driver was asked about";
}

// What the next boot reads is what counts: a service written into the
// registry value by value, which the manager loads only then, is disabled
// there; a start type of another type is read as the loaders read it; a
// per-user instance is its template's, and no entry.
TEST_F(ServicePlaces, WhatTheNextBootReadsIsWhatCounts) {
    Learn();
    const BYTE automatic[] = {SERVICE_AUTO_START, 0, 0, 0};
    const struct {
        const wchar_t* name;
        DWORD type, startType;
        bool listed;
        DWORD startAfter;
    } cases[] = {
        {L"KbWrittenService", SERVICE_WIN32_OWN_PROCESS, REG_DWORD, true, SERVICE_DISABLED},
        {L"KbWrittenBinaryStart", SERVICE_WIN32_OWN_PROCESS, REG_BINARY, true, SERVICE_DISABLED},
        {L"KbWrittenDriver", SERVICE_KERNEL_DRIVER | 0x80, REG_DWORD, true, SERVICE_DISABLED},
        {L"KbWrittenUserSvc_1a2b3", SERVICE_WIN32_OWN_PROCESS | 0x40 | 0x80, REG_DWORD, false, SERVICE_AUTO_START},
    };
    for (const auto& c : cases) {
        const std::wstring key = std::wstring(L"Services\\") + c.name;
        written_.push_back(c.name);
        SetRawValue(controlSet_.get(), key, L"Type", REG_DWORD, &c.type, sizeof c.type);
        SetStringValue(controlSet_.get(), key, L"ImagePath", L"C:\\Vendor\\written.exe", REG_EXPAND_SZ);
        SetRawValue(controlSet_.get(), key, L"Start", c.startType, automatic, sizeof automatic);
    }
    Check();
    Check();  // as the watch does, woken by the moves themselves
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        const std::optional<ServiceEntry> listed = Listed(c.name);
        EXPECT_EQ(listed.has_value(), c.listed);
        const std::optional<ServiceFacts> read = ReadServiceKey(c.name);
        EXPECT_EQ(read ? read->start : DWORD{SERVICE_AUTO_START}, c.startAfter);
        EXPECT_EQ(KeptServiceOf(c.name).has_value(), c.startAfter == SERVICE_DISABLED);
        if (!listed || c.startAfter != SERVICE_DISABLED) continue;
        ASSERT_EQ(guard_->Move(*listed), MoveResult::Moved);
        EXPECT_EQ(ReadServiceKey(c.name)->start, DWORD{SERVICE_AUTO_START}) << "given back where it was taken";
    }
}

// A key whose name holds a NUL (made below the registry's own functions)
// opens, by the registry's functions, the service whose name is the part
// before it: it is said, and that service is never acted on in its name.
TEST_F(ServicePlaces, AKeyNamedPastANulIsSaidAndNeverTakenForAnother) {
    Make(L"KbProbeVictim", SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, L"C:\\Vendor\\victim.exe");
    Learn();
    using CreateKey = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, ULONG, PUNICODE_STRING, ULONG, PULONG);
    using DeleteKey = LONG(NTAPI*)(HANDLE);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto create = reinterpret_cast<CreateKey>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateKey")));
    const auto remove = reinterpret_cast<DeleteKey>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDeleteKey")));
    ASSERT_TRUE(create && remove);
    UniqueKey services;
    ASSERT_EQ(::RegOpenKeyExW(controlSet_.get(), L"Services", 0, KEY_ALL_ACCESS, services.put()), ERROR_SUCCESS);
    std::wstring name = L"KbProbeVictim";
    name.push_back(L'\0');
    name += L"x";
    UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(name.size() * sizeof(wchar_t)), name.data()};
    OBJECT_ATTRIBUTES attributes{sizeof attributes, services.get(), &text, OBJ_CASE_INSENSITIVE, nullptr, nullptr};
    HANDLE made = nullptr;
    ASSERT_EQ(create(&made, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr), 0);
    UniqueKey odd(static_cast<HKEY>(made));
    const DWORD type = SERVICE_WIN32_OWN_PROCESS, start = SERVICE_AUTO_START;
    ::RegSetValueExW(odd.get(), L"Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type), sizeof type);
    ::RegSetValueExW(odd.get(), L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start), sizeof start);
    Check();
    EXPECT_EQ(StartOf(L"KbProbeVictim"), DWORD{SERVICE_AUTO_START}) << "the service before the NUL untouched";
    const std::vector<SkippedValue> noted = guard_->UnreadablePlaces();
    EXPECT_TRUE(std::any_of(noted.begin(), noted.end(), [](const SkippedValue& v) {
        return v.key.find(L"KbProbeVictim?x") != std::wstring::npos;
    }));
    remove(odd.get());
}

// What Windows needs to start is never disabled, by its name and its file
// together: a name alone is anyone's to take on a Windows without it.
TEST_F(ServicePlaces, WhatWindowsNeedsIsNeverDisabled) {
    const std::wstring windows = WindowsFolder();
    const struct {
        ServiceFacts facts;
        bool needed;
    } cases[] = {
        {{L"RpcSs", {}, L"%SystemRoot%\\system32\\svchost.exe -k rpcss", {}, {}, {}, SERVICE_WIN32_SHARE_PROCESS,
          SERVICE_AUTO_START},
         true},
        {{L"rpcss", {}, L"C:\\Vendor\\rpcss.exe", {}, {}, {}, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START}, false},
        {{L"storahci", {}, L"System32\\drivers\\storahci.sys", {}, {}, L"SCSI miniport", SERVICE_KERNEL_DRIVER,
          SERVICE_BOOT_START},
         true},
        {{L"disk", {}, L"", {}, {}, L"SCSI Class", SERVICE_KERNEL_DRIVER, SERVICE_BOOT_START}, true},
        {{L"vendorbus", {}, L"\\??\\C:\\Vendor\\bus.sys", {}, {}, L"Boot Bus Extender", SERVICE_KERNEL_DRIVER,
          SERVICE_BOOT_START},
         false},
        {{L"beep", {}, L"\\SystemRoot\\System32\\drivers\\beep.sys", {}, {}, L"Base", SERVICE_KERNEL_DRIVER,
          SERVICE_SYSTEM_START},
         false},
        // Windows' folder only by its text: the path leads out of it.
        {{L"vendordisk", {}, windows + L"\\..\\Vendor\\disk.sys", {}, {}, L"SCSI miniport", SERVICE_KERNEL_DRIVER,
          SERVICE_BOOT_START},
         false},
        // A service's relative program is searched for, never taken for Windows'.
        {{L"RpcSs", {}, L"rpcss.exe", {}, {}, {}, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START}, false},
        // Windows' host, a library of someone else's.
        {{L"gpsvc", {}, L"%SystemRoot%\\system32\\svchost.exe -k netsvcs", L"C:\\Vendor\\gp.dll", {}, {},
          SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.facts.name + L" " + c.facts.imagePath));
        EXPECT_EQ(WindowsNeeds(c.facts), c.needed);
    }
    // The prefix's own RPC service, unticked from the list, stays as it is.
    Learn();
    const std::optional<ServiceEntry> rpc = Listed(L"RpcSs");
    ASSERT_TRUE(rpc);
    const DWORD before = StartOf(L"RpcSs");
    EXPECT_EQ(guard_->Move(*rpc), MoveResult::WindowsNeedsIt);
    EXPECT_EQ(StartOf(L"RpcSs"), before);
    EXPECT_FALSE(KeptServiceOf(L"RpcSs"));
}

// A service the System Configuration utility itself disabled, kept in the
// form of Vista and later or in XP's, is given back its start type; one
// disabled by anyone else has none to go back to, and stays.
TEST_F(ServicePlaces, WhatTheUtilityKeptInEitherFormComesBack) {
    SetRawValue(HKEY_LOCAL_MACHINE, kStore + L"\\KbProbeVista", L"KbProbeVista", REG_DWORD,
                std::array<DWORD, 1>{SERVICE_AUTO_START}.data(), sizeof(DWORD));
    SetRawValue(HKEY_LOCAL_MACHINE, kStore, L"KbProbeXp", REG_DWORD, std::array<DWORD, 1>{SERVICE_DEMAND_START}.data(),
                sizeof(DWORD));
    // A boot start kept for a service is none any utility wrote.
    SetRawValue(HKEY_LOCAL_MACHINE, kStore + L"\\KbProbeForged", L"KbProbeForged", REG_DWORD,
                std::array<DWORD, 1>{SERVICE_BOOT_START}.data(), sizeof(DWORD));
    const struct {
        const wchar_t* name;
        MoveResult result;
        DWORD start;
    } cases[] = {
        {L"KbProbeVista", MoveResult::Moved, SERVICE_AUTO_START},
        {L"KbProbeXp", MoveResult::Moved, SERVICE_DEMAND_START},
        {L"KbProbeUnkept", MoveResult::CannotMove, SERVICE_DISABLED},
        {L"KbProbeForged", MoveResult::CannotMove, SERVICE_DISABLED},
    };
    for (const auto& c : cases) Make(c.name, SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED, L"C:\\Vendor\\kept.exe");
    Learn();
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        const std::optional<ServiceEntry> listed = Listed(c.name);
        ASSERT_TRUE(listed);
        EXPECT_FALSE(Services::TextOf(*listed).enabled);
        EXPECT_EQ(guard_->Move(*listed), c.result);
        EXPECT_EQ(StartOf(c.name), c.start);
        EXPECT_EQ(KeptServiceOf(c.name).has_value(), c.name == std::wstring(L"KbProbeForged")) << "kept as it was";
    }
}

// The prompt offers to stop a running service it disables; the stop, also
// an elevated instance's for whoever asks it, takes only a service this
// program disabled, never one still enabled or one someone else disabled.
TEST_F(ServicePlaces, ARunningServiceIsStoppedOnlyOnceDisabledHere) {
    Learn();
    for (const wchar_t* name : {L"KbProbeRunning", L"KbProbeOthers"}) {
        made_.push_back(name);
        ASSERT_TRUE(MakeRunningProbeService(name));
    }
    ASSERT_EQ(SetServiceStart(L"KbProbeOthers", SERVICE_DISABLED), DWORD{ERROR_SUCCESS}) << "someone else's disable";
    EXPECT_EQ(StopServiceDisabledHere(L"KbProbeRunning"), DWORD{ERROR_INVALID_SERVICE_CONTROL}) << "still enabled";
    guard_->Reload();
    // What the question about it shows: the prompt offers the stop.
    const std::optional<ServiceEntry> asked = Listed(L"KbProbeRunning");
    ASSERT_TRUE(asked && Services::DetailsOf(*asked).service);
    EXPECT_TRUE(Services::DetailsOf(*asked).service->runs);
    Check();

    const struct {
        const wchar_t* name;
        DWORD stop, state;
    } cases[] = {
        {L"KbProbeOthers", ERROR_INVALID_SERVICE_CONTROL, SERVICE_RUNNING},
        {L"KbProbeRunning", ERROR_SUCCESS, SERVICE_STOPPED},
        {L"KbProbeRunning", ERROR_SUCCESS, SERVICE_STOPPED},  // stopped already
        {L"KbProbeNowhere", ERROR_INVALID_SERVICE_CONTROL, SERVICE_STOPPED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + std::wcslen(c.name)));
        EXPECT_EQ(StopServiceDisabledHere(c.name), c.stop);
        EXPECT_TRUE(WaitForProbeState(c.name, c.state));
    }
    EXPECT_EQ(StartOf(L"KbProbeRunning"), DWORD{SERVICE_DISABLED}) << "stopping changes no start";
}

}  // namespace
}  // namespace kb::test
