// The string table: every id the program may ask for is there, nothing
// else is, the system's own texts are kept to the letter, and what is
// filled in is never read as more of the text.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "app/Texts.h"
#include "app/services/FindingWords.h"

namespace kb {
namespace {

// Adds the ids of one block of the string table that hold a string: a
// block of 16, named one above id / 16.
BOOL CALLBACK AddBlock(HMODULE module, LPCWSTR, LPWSTR name, LONG_PTR into) {
    const UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    for (UINT id = first; id < first + 16; ++id) {
        const wchar_t* text = nullptr;
        if (::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0) > 0)
            reinterpret_cast<std::set<UINT>*>(into)->insert(id);
    }
    return TRUE;
}

// Every id that holds a string in this program's table.
std::set<UINT> IdsInTheTable() {
    std::set<UINT> ids;
    ::EnumResourceNamesW(::GetModuleHandleW(nullptr), RT_STRING, AddBlock, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

TEST(Texts, EveryIdHasItsTextAndNoTextIsWithoutAnId) {
    std::set<UINT> expected;
    for (UINT id = IDS_FIRST; id <= IDS_LAST; ++id) expected.insert(id);
    EXPECT_EQ(IdsInTheTable(), expected);
    for (UINT id = IDS_FIRST; id <= IDS_LAST; ++id) EXPECT_FALSE(UiText(id).empty()) << id;
    EXPECT_TRUE(UiText(IDS_LAST + 1).empty());
}

// The system's own texts, spelling and all, as their users know them.
TEST(Texts, TheSystemsOwnTextsAreKeptToTheLetter) {
    const struct {
        std::wstring shown, expected;
    } cases[] = {
        {UiText(IDS_REFRUSH), L"&Refrush"},
        {UiText(IDS_QUESTION_NEW, {L"Vendor"}), L"One new Windows Startup \"Vendor\", do you want to disbale it?"},
        {UiText(IDS_TAB_SETTINGS), L"Keepboot Settings"},
        {UiText(IDS_TAB_STARTUP), L"Current Windows Startup"},
        {UiText(IDS_TAB_START_PAGES), L"Current Internet Explorer Start Pages"},
        {UiText(IDS_STARTUP_GROUP), L"Disable Windows Startup Change"},
        {UiText(IDS_START_PAGE_GROUP), L"Disable Internet Explorer Start Pages Change"},
        {UiText(IDS_START_PAGE_POLICY_ASK), L"Show one warning message when Internet Explorer Start Pages be changed"},
        {UiText(IDS_SELF_START), L"Start this program with Windows Startup"},
        {UiText(IDS_INTERVAL), L"Change the program check the startup interval in"},
        // A single value's question, in each of its forms.
        {WordsOf(ValueQuestion{ValueQuestion::Kind::WillChange, L"Start Page", {}, L"http://x/"}),
         L"Start Page will change to \"http://x/\", do you want to disbale it?"},
        {WordsOf(ValueQuestion{ValueQuestion::Kind::WillChange, L"Shell", L"HKLM\\Winlogon", L"evil.exe"}),
         L"'Shell' (HKLM\\Winlogon) will change to \"evil.exe\", do you want to disbale it?"},
        {WordsOf(ValueQuestion{ValueQuestion::Kind::OwnBackOrKeep, L"Shell", L"HKLM\\Winlogon", L"evil.exe"}),
         L"'Shell' (HKLM\\Winlogon) changed to \"evil.exe\"; what it held before is not there, so Disable puts "
         L"Windows' own back: do you want to disbale it?"},
        {WordsOf(ValueQuestion{ValueQuestion::Kind::KeepOrLeave, L"Shell", L"HKLM\\Winlogon", L"evil.exe"}),
         L"'Shell' (HKLM\\Winlogon) changed to \"evil.exe\"; what it held before is not there, nor is Windows' "
         L"own: Enable keeps the change, Disable and Cancel leave it."},
    };
    for (const auto& c : cases) EXPECT_EQ(c.shown, c.expected);
}

// Why a place could not be read, or a folder is not Keepboot's own, is the
// core's data, worded here: each reason in its own words, with Windows'
// code where it gave one.
TEST(Texts, EveryReasonAPlaceOrFolderIsRefusedHasItsOwnWords) {
    std::set<std::wstring> said;
    for (int why = 0; why <= static_cast<int>(WhyUnreadable::KeyLink); ++why) {
        const Finding finding{.kind = Finding::Kind::PlaceUnreadable, .location = L"HKCU\\Run", .code = 1117,
                              .unreadable = static_cast<WhyUnreadable>(why)};
        said.insert(WordsOf(finding));
    }
    EXPECT_EQ(said.size(), static_cast<std::size_t>(WhyUnreadable::KeyLink) + 1);
    EXPECT_TRUE(said.contains(L"Cannot read HKCU\\Run: access is denied. What it held before stays guarded."));
    EXPECT_TRUE(said.contains(L"Cannot read HKCU\\Run: it could not be listed (error 1117). What it held before "
                              L"stays guarded."));

    // The same of why a folder is not Keepboot's own.
    said.clear();
    for (int why = 0; why <= static_cast<int>(OwnFolderRefusal::Why::CannotKnow); ++why)
        said.insert(WordsOf(Finding{.kind = Finding::Kind::OwnFolderRefused, .location = L"C:\\PD\\Keepboot",
                                    .ownFolder = static_cast<OwnFolderRefusal::Why>(why)}));
    EXPECT_EQ(said.size(), static_cast<std::size_t>(OwnFolderRefusal::Why::CannotKnow) + 1);
    EXPECT_TRUE(said.contains(L"The copies of disabled all-users Startup files are not kept in Keepboot's own folder: "
                              L"C:\\PD\\Keepboot was made by someone else than Keepboot. Such files stay where they "
                              L"are until it can be used."));
}

// How a logon value differs from Windows' own, in each of its forms, as
// the balloon and the history say it; what came from outside is made safe.
TEST(Texts, ALogonValuesDifferenceIsWordedInEachForm) {
    using Kind = LogonDifference::Kind;
    const struct {
        LogonDifference difference;
        std::wstring words;
    } cases[] = {
        {{.kind = Kind::Number, .number = 0, .ownNumber = 1}, L"is 0, where Windows' own is 1"},
        {{.kind = Kind::Number, .ownNumber = 1}, L"is not a number, where Windows' own is 1"},
        {{.kind = Kind::NumberNotWindows, .number = 5}, L"is 5, which Windows does not set"},
        {{.kind = Kind::Starts, .programs = {L"a.exe", L"b.dll"}}, L"starts a.exe, b.dll, which Windows does not"},
        {{.kind = Kind::StartsBesidesOwn, .programs = {L"C:\\evil\\x.exe"}},
         L"starts C:\\evil\\x.exe besides Windows' own"},
        {{.kind = Kind::Holds, .text = L"v"}, L"holds \"v\", which Windows does not set"},
        {{.kind = Kind::Holds}, L"holds \"(not text)\", which Windows does not set"},
        {{.kind = Kind::HoldsInsteadOfOwn, .text = L"evil.exe", .ownText = L"explorer.exe"},
         L"holds \"evil.exe\" instead of Windows' own \"explorer.exe\""},
    };
    for (const auto& c : cases) EXPECT_EQ(WordsOf(c.difference), c.words);
}

// What the list notes after a stored entry's location.
TEST(Texts, AStoredEntrysNoteFollowsItsLocation) {
    const struct {
        EntryText::Note note;
        std::wstring shown;
    } cases[] = {
        {EntryText::Note::None, L"HKCU\\Run"},
        {EntryText::Note::StaysStored, L"HKCU\\Run (no startup place: stays stored)"},
        {EntryText::Note::AnotherUsers, L"HKCU\\Run (another user's)"},
        {EntryText::Note::HiddenFromWindows, L"HKCU\\Run (Task Manager and Settings do not list it)"},
    };
    for (const auto& c : cases) EXPECT_EQ(LocationWithNote({L"x", L"x.exe", L"HKCU\\Run", false, c.note}), c.shown);
}

// How a service is named in the list and shown in the prompt, for each
// start type; what came from outside (its names) is made safe to show.
TEST(Texts, AServiceIsWordedByItsStartAndKind) {
    const struct {
        unsigned long start;
        bool delayed, driver;
        std::wstring listed;
    } cases[] = {
        {SERVICE_BOOT_START, false, true, L"HKLM\\S (driver, at boot, by the boot loader: Probe)"},
        {SERVICE_SYSTEM_START, false, true, L"HKLM\\S (driver, at boot, by the system: Probe)"},
        {SERVICE_AUTO_START, false, false, L"HKLM\\S (service, automatic: Probe)"},
        {SERVICE_AUTO_START, true, false, L"HKLM\\S (service, automatic, delayed: Probe)"},
        {SERVICE_DEMAND_START, false, false, L"HKLM\\S (service, manual: Probe)"},
        {SERVICE_DISABLED, false, false, L"HKLM\\S (service, disabled: Probe)"},
        {9, false, false, L"HKLM\\S (service, 9: Probe)"},
    };
    for (const auto& c : cases) {
        EntryText text{L"probe", L"probe.exe", L"HKLM\\S", true};
        text.service = EntryText::Service{L"Probe", c.start, c.delayed, c.driver};
        EXPECT_EQ(ListedLocation(text), c.listed);
    }
    EntryDetails details;
    details.service = EntryDetails::Service{L"Sneaky\tUpdater", L"LocalSystem", L"C:\\s\\svc.dll",
                                            SERVICE_AUTO_START, false, false, true, {L"One", L"Two"}};
    EXPECT_EQ(ServiceLines(details),
              L"Service: Sneaky<U+0009>Updater\r\nStarts: automatic\r\nRuns as: LocalSystem\r\nLibrary: C:\\s\\svc.dll"
              L"\r\nDepending on it: One, Two\r\nIt is running now: disabling it keeps it from starting again, and "
              L"stops it only if you tick the box below.");
    EXPECT_EQ(ServiceLines(EntryDetails{}), L"");
}

TEST(Texts, WhatIsFilledInIsNeverReadForMore) {
    const struct {
        const wchar_t* text;
        std::initializer_list<std::wstring_view> fill;
        const wchar_t* expected;
    } cases[] = {
        {L"'%1' (%2)", {L"a", L"b"}, L"'a' (b)"},
        {L"%2 before %1", {L"one", L"two"}, L"two before one"},
        {L"%1", {L"%2%1%%"}, L"%2%1%%"},       // a value that looks like a place to fill
        {L"%1 and %2", {L"only"}, L"only and "},  // nothing to fill with: nothing
        {L"100% sure, %0 %a %", {}, L"100% sure, %0 %a %"},
    };
    for (const auto& c : cases) EXPECT_EQ(Filled(c.text, c.fill), c.expected) << c.text;
}

}  // namespace
}  // namespace kb
