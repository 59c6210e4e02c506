// The record of what the guard did: the file keeps every field exactly,
// survives a record cut off by a crash, and stays within its bound; the
// page shows each decision, and its Enable brings a disabled entry back.
#include <set>

#include "WindowHarness.h"
#include "app/services/FindingWords.h"
#include "app/services/EventLog.h"
#include "app/services/History.h"
#include "app/services/HistoryKeeper.h"
#include "app/services/UserMoves.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/ServiceCall.h"
#include "app/Texts.h"

namespace kb::test {
namespace {

HistoryRecord Sample(int n) {
    HistoryRecord r;
    r.when = {static_cast<DWORD>(n), 1};
    r.what = L"Disabled";
    r.by = L"the watch";
    r.item = L"Item " + std::to_wstring(n);
    r.command = L"\"C:\\Program Files\\A\\a.exe\" /x";
    r.location = L"HKCU\\" + kRun;
    return r;
}

class History : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetEventSink([this](DWORD id, WORD type, const std::vector<std::wstring>& strings) {
            // The first start's notice is every window's; none of these is about it.
            if (strings.size() == 6 && strings[5].starts_with(UiText(IDS_FIRST_START_MARK))) return;
            events.push_back({id, type, strings});
        });
    }
    void TearDown() override {
        SetEventSink({});
        WindowTest::TearDown();
    }
    struct Event {
        DWORD id;
        WORD type;
        std::vector<std::wstring> strings;
    };
    std::vector<Event> events;
};

// The text Event Viewer shows: the program's message table with the
// record's fields put in.
std::wstring EventText(DWORD id, const std::vector<std::wstring>& strings) {
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& s : strings) arguments.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        ::GetModuleHandleW(nullptr), id, 0, reinterpret_cast<wchar_t*>(&text), 0,
        reinterpret_cast<va_list*>(arguments.data()));
    std::wstring result(text ? text : L"", length);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return result;
}

TEST_F(History, FileKeepsEveryFieldAndOutlivesACutLine) {
    const std::wstring path = Folder(L"Log") + L"\\history.log";
    HistoryRecord odd = Sample(1);
    odd.item = L"tab\there, line\nbreak, back\\slash \\t, \u00e9\u4e2d";
    odd.detail = L"before: \"C:\\old.exe\"\r\n";
    {
        HistoryFile before(path);
        ASSERT_TRUE(before.Append(odd));
        EXPECT_EQ(before.Read(), (std::vector<HistoryRecord>{odd})) << "readable while kept open";
    }
    // A damaged line whose time is out of range, then a crash in the middle
    // of the next record, and a new start: neither may stop the reading.
    {
        UniqueFile raw(::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
        const std::string damaged = "99999999999999999999\ta\tb\tc\td\te\tf\r\n";
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(raw.get(), damaged.data(), static_cast<DWORD>(damaged.size()),
                                &written, nullptr));
        ASSERT_TRUE(::WriteFile(raw.get(), "123\tDisab", 9, &written, nullptr));
    }
    HistoryFile file(path);
    EXPECT_EQ(file.Read(), (std::vector<HistoryRecord>{odd}));
    ASSERT_TRUE(file.Append(Sample(2)));
    EXPECT_EQ(file.Read(), (std::vector<HistoryRecord>{odd, Sample(2)}));
    // The page reads only the newest, in order, past the damaged line.
    for (int n = 3; n < 6; ++n) ASSERT_TRUE(file.Append(Sample(n)));
    EXPECT_EQ(file.Read(2), (std::vector<HistoryRecord>{Sample(4), Sample(5)}));
    EXPECT_EQ(file.Read(5), (std::vector<HistoryRecord>{odd, Sample(2), Sample(3), Sample(4), Sample(5)}));
    EXPECT_EQ(file.Read(0), std::vector<HistoryRecord>{});
}

TEST_F(History, FileStaysWithinItsBoundAndKeepsTheNewest) {
    constexpr std::uint64_t kBound = 8 * 1024;
    HistoryFile file(Folder(L"Log") + L"\\history.log", kBound);
    for (int n = 0; n < 2000; ++n) ASSERT_TRUE(file.Append(Sample(n)));
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(::GetFileAttributesExW(file.Path().c_str(), GetFileExInfoStandard, &data));
    EXPECT_LE(data.nFileSizeLow, kBound);
    const std::vector<HistoryRecord> kept = file.Read();
    ASSERT_GT(kept.size(), 20u);
    EXPECT_EQ(kept.back(), Sample(1999));
    EXPECT_EQ(kept.front(), Sample(2000 - static_cast<int>(kept.size()))) << "none lost in between";
}

// A file past its bound that cannot be replaced (a folder where its new
// copy goes), one held by another program, a folder where the file goes:
// nothing waits or loops. What cannot be written waits in memory, is said
// once while it lasts, and is written once it can be.
TEST_F(History, AFileThatCannotBeWrittenNeverStopsTheRecords) {
    constexpr std::uint64_t kBound = 4 * 1024;
    const std::wstring full = Folder(L"Full") + L"\\history.log";
    HistoryFile file(full, kBound);
    for (int n = 0; n < 60; ++n) ASSERT_TRUE(file.Append(Sample(n)));
    Folder(L"Full\\history.log.new");
    const DWORD began = ::GetTickCount();
    for (int n = 60; n < 400; ++n) ASSERT_TRUE(file.Append(Sample(n))) << "appended past its bound";
    EXPECT_LT(::GetTickCount() - began, 5000u) << "no loop of failing replacements";
    EXPECT_EQ(file.Read().back(), Sample(399));

    for (const bool folderInTheWay : {false, true}) {
        SCOPED_TRACE(folderInTheWay ? "a folder where the file goes" : "a file another program holds");
        const std::wstring path = Folder(folderInTheWay ? L"Folder" : L"Held") + L"\\history.log";
        UniqueFile held;
        if (folderInTheWay)
            Folder(folderInTheWay ? L"Folder\\history.log" : L"");
        else
            held.reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        HistoryKeeper keeper;
        std::vector<std::wstring> notices;
        keeper.SetFailureNotice([&](const std::wstring& text) { notices.push_back(text); });
        keeper.Open(path);
        for (int n = 0; n < 3; ++n) keeper.Record(Sample(n));
        EXPECT_EQ(keeper.Pending(), 3u);
        EXPECT_EQ(notices.size(), 1u) << "said once while it lasts";
        keeper.RetryNow();
        EXPECT_EQ(notices.size(), 1u);
        held.reset();
        if (folderInTheWay) RemoveTree(path);
        keeper.RetryNow();
        EXPECT_EQ(keeper.Pending(), 0u);
        const std::vector<HistoryRecord> written = HistoryFile(path).Read();
        ASSERT_EQ(written.size(), 3u) << "written once it could be";
        EXPECT_EQ(written[2].item, Sample(2).item);
    }
}

// A storm of one record (a policy flipped thousands of times a second, an
// entry that puts itself back at once) is a line a second, each saying how
// many it stands for, none lost; records of different entries, or notices
// of different words, are never folded.
TEST_F(History, RepeatsWithinASecondAreFoldedAndNothingElseIs) {
    const auto record = [](RecordKind kind, std::wstring item, std::wstring detail) {
        HistoryRecord r = HistoryRecord::Of(kind);
        r.by = L"the watch";
        r.item = std::move(item);
        r.detail = std::move(detail);
        return r;
    };
    const struct {
        const char* what;
        std::function<HistoryRecord(int)> make;
        bool folds;
    } cases[] = {
        {"one policy flipped", [&](int n) { return record(RecordKind::AdminPolicyChanged, L"", L"Policy: " + std::to_wstring(n % 2)); }, true},
        {"one entry disabled again and again", [&](int) { return record(RecordKind::Disabled, L"Again", L""); }, true},
        {"different entries", [&](int n) { return record(RecordKind::Disabled, L"Item " + std::to_wstring(n), L""); }, false},
        {"notices of different words", [&](int n) { return record(RecordKind::Notice, L"", L"Said " + std::to_wstring(n)); }, false},
    };
    constexpr int kRecords = 2000;
    int folder = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = Folder(L"Case " + std::to_wstring(++folder)) + L"\\history.log";
        HistoryKeeper keeper;
        keeper.Open(path);
        const DWORD began = ::GetTickCount();
        for (int n = 0; n < kRecords; ++n) keeper.Record(c.make(n));
        const DWORD seconds = (::GetTickCount() - began) / 1000 + 1;
        keeper.RetryNow();  // as at the interval and at the end
        const std::vector<HistoryRecord> lines = HistoryFile(path).Read();
        unsigned long standsFor = 0;
        for (const HistoryRecord& line : lines) {
            const auto at = line.detail.find(L"and ");
            standsFor += 1 + (at == std::wstring::npos ? 0 : std::wcstoul(line.detail.c_str() + at + 4, nullptr, 10));
        }
        EXPECT_EQ(standsFor, static_cast<unsigned long>(kRecords)) << "every record is counted";
        if (c.folds)
            EXPECT_LE(lines.size(), 2 * seconds + 1) << "a line a second";
        else
            EXPECT_EQ(lines.size(), static_cast<std::size_t>(kRecords));
        EXPECT_EQ(lines.back().item, c.make(kRecords - 1).item);
    }
}

// Enable pressed while a check runs (here, as its question waits) is not
// dropped: it runs once the check is over, and the entry it brings back is
// not taken for new.
TEST_F(History, EnableDuringACheckRunsAfterIt) {
    MainWindow& w = MakeWindow();
    w.Pages().Settings().ChoosePolicies(0, 2);
    Tick();
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Updater", L"updater.exe");
    Tick();
    ASSERT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater").exists);
    w.Pages().Settings().ChoosePolicies(1);
    answer = [&](const std::wstring&) {
        ListView_SetItemState(w.Pages().History().Controls().list, 0, LVIS_SELECTED, LVIS_SELECTED);  // Updater's
        w.Pages().History().EnableSelected();
        EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater").exists) << "not in the middle of the check";
        return Decision::Leave;
    };
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Helper", L"helper.exe");
    Tick();
    EXPECT_EQ(questions, (Names{L"One new Windows Startup \"Helper\", do you want to disbale it?"}));
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"), Text(L"updater.exe")) << "run after it";
    w.Pages().Settings().ChoosePolicies(0);
    Tick();
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"), Text(L"updater.exe")) << "not taken for new";
}

// A value disabled by the watch, one asked about and allowed, and the first
// enabled again from the history page: each is a record, in order, in the
// file and on the page.
TEST_F(History, EveryDecisionIsRecordedAndADisableCanBeUndone) {
    MainWindow& w = MakeWindow();
    w.Pages().Settings().ChoosePolicies(0, 2);
    Tick();  // the watch's first check: nothing came before it
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Updater", L"updater.exe");
    Tick();
    ASSERT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater").exists);
    w.Pages().Settings().ChoosePolicies(1);
    answer = [](const std::wstring&) { return Decision::Allow; };
    SetStringValue(HKEY_CURRENT_USER, kRun, L"Helper", L"helper.exe");
    Tick();

    ListView_SetItemState(w.Pages().History().Controls().list, 1, LVIS_SELECTED, LVIS_SELECTED);  // Updater's
    w.Pages().History().EnableSelected();
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Updater"), Text(L"updater.exe"));

    const std::vector<HistoryRecord> records = Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].what + L"/" + records[0].by + L"/" + records[0].item, L"Disabled/the watch/Updater");
    EXPECT_EQ(records[1].what + L"/" + records[1].by + L"/" + records[1].item, L"Allowed/you/Helper");
    EXPECT_EQ(records[2].what + L"/" + records[2].by + L"/" + records[2].item,
              L"Enabled from the history/you/Updater");
    EXPECT_EQ(ListView_GetItemCount(w.Pages().History().Controls().list), 4)
        << "the page shows the same, after the first start's notice";

    // And the event log: an event id per kind, readable text.
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].id, 1u);
    EXPECT_EQ(events[1].id, 2u);
    EXPECT_EQ(events[2].id, 6u);
    EXPECT_EQ(events[0].type, EVENTLOG_INFORMATION_TYPE);
    EXPECT_EQ(EventText(events[0].id, events[0].strings),
              L"The startup entry 'Updater' (HKCU\\" + kRun +
                  L") was disabled by the watch. It would have started updater.exe.");
    EXPECT_EQ(EventText(events[2].id, events[2].strings),
              L"Enabled from the history: 'Updater' (HKCU\\" + kRun +
                  L"), which starts updater.exe, by you.");
}

// A record in the history file proves nothing: any program of the user can
// write one. Enable acts only on a disable this program made, and only on
// the entry it put aside; any other record shows no Enable.
TEST_F(History, AForgedRecordEnablesNothing) {
    // Moved aside by someone else, and two records forged for it.
    SetStringValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Helper", L"C:\\evil.exe");
    HistoryFile file(Folder(L"App") + L"\\history.log");
    for (const wchar_t* what : {L"Allowed", L"Disabled"}) {
        HistoryRecord forged = Sample(1);
        forged.what = what;
        forged.item = L"Helper";
        forged.command = L"C:\\evil.exe";
        ASSERT_TRUE(file.Append(forged));
    }
    MainWindow& w = MakeWindow();
    const HWND list = w.Pages().History().Controls().list;
    const int rows = ListView_GetItemCount(list);
    for (int row = 0; row < rows; ++row) {
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
        wchar_t item[64] = {}, what[64] = {};
        ListView_GetItemText(list, row, 2, item, 64);
        ListView_GetItemText(list, row, 1, what, 64);
        if (std::wstring(item) != L"Helper") continue;
        EXPECT_EQ(::IsWindowEnabled(w.Pages().History().Controls().enable) != FALSE,
                  std::wstring(what).starts_with(L"Disabled"));
        w.Pages().History().EnableSelected();
    }
    for (const std::wstring& report : Reports())
        EXPECT_EQ(report, L"'Helper' was not disabled by Keepboot: nothing to enable.");
    EXPECT_FALSE(ReadRawValue(HKEY_CURRENT_USER, kRun, L"Helper").exists) << "nothing moved";
    EXPECT_TRUE(ReadRawValue(HKEY_CURRENT_USER, kRun + L"\\AutorunsDisabled", L"Helper").exists);
}

}  // namespace
}  // namespace kb::test

namespace kb::test {
namespace {

// Every kind of record has its words, which name no other kind and come
// back as that kind from the file, and an event the message table words
// with its strings.
// The event log is a service too: one that does not answer holds no record
// from the page and the file, is said once, and does not hold the end.
TEST(EventLogLine, ALogThatDoesNotAnswerHoldsNothingAndIsSaidOnce) {
    SetServiceSilent(SystemService::EventLog, true);
    {
        EventLog log;
        HistoryRecord record = HistoryRecord::Of(RecordKind::Notice);
        record.detail = L"a test record";
        log.Report(record);
        std::optional<std::wstring> trouble;
        for (int i = 0; i < 3000 && !(trouble = log.TakeTrouble()); ++i) ::Sleep(10);
        ASSERT_TRUE(trouble.has_value());
        EXPECT_EQ(*trouble, UiText(IDS_EVENT_LOG_NO_ANSWER, {std::to_wstring(AnswerLimitMs(SystemService::EventLog) / 1000)}));
        log.Report(record);
        EXPECT_FALSE(log.TakeTrouble().has_value()) << "said once";
    }
    SetServiceSilent(SystemService::EventLog, false);
}

TEST(RecordKinds, EachHasItsWordsAndAnEventTheLogCanShow) {
    std::set<std::wstring> words;
    for (int i = 0; i < kRecordKinds; ++i) {
        const RecordKind kind = static_cast<RecordKind>(i);
        const RecordKindWords said = WordsOf(kind);
        ASSERT_NE(said.what, nullptr);
        EXPECT_FALSE(std::wstring(said.what).empty()) << i;
        EXPECT_TRUE(words.insert(said.what).second) << "two kinds say " << Narrow(said.what);
        EXPECT_EQ(KindOfWhat(said.what), kind) << Narrow(said.what);
        EXPECT_TRUE(said.eventType == EVENTLOG_INFORMATION_TYPE || said.eventType == EVENTLOG_WARNING_TYPE);
        // Insertion strings as the log passes them: an array of pointers.
        DWORD_PTR strings[6];
        const wchar_t* const texts[6] = {L"what", L"by", L"item", L"command", L"location", L"detail"};
        for (int s = 0; s < 6; ++s) strings[s] = reinterpret_cast<DWORD_PTR>(texts[s]);
        wchar_t* text = nullptr;
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
            ::GetModuleHandleW(nullptr), said.eventId, 0x409, reinterpret_cast<wchar_t*>(&text), 0,
            reinterpret_cast<va_list*>(strings));
        EXPECT_GT(length, 0u) << "event " << said.eventId << " of " << Narrow(said.what);
        if (text) ::LocalFree(text);
    }
    EXPECT_EQ(KindOfWhat(L"Something another version said"), std::nullopt);
}

// Enable from the history brings back the user's own entry: another user's
// of the same name, place and command in the shared store is not theirs to
// take, and it would only fail.
TEST(FindPutAside, AnotherUsersEntryOfTheSameNameIsNeverTaken) {
    StoredRunEntry theirs;
    theirs.subkey = L"Tool";
    theirs.item = L"Tool";
    theirs.command = L"tool.exe";
    theirs.hkey = L"HKCU";
    theirs.key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    theirs.user = L"S-1-5-21-1-2-3-1001";
    StoredRunEntry mine = theirs;
    mine.subkey = L"Tool1";
    mine.user.clear();
    Inventory known;
    known.stored.values = {theirs, mine};
    const std::optional<StartupEntry> found = FindPutAside(known, {L"Tool", L"tool.exe", theirs.Location()});
    ASSERT_TRUE(found);
    EXPECT_EQ(std::get<StoredRunEntry>(*found).subkey, L"Tool1");
    known.stored.values = {theirs};
    EXPECT_FALSE(FindPutAside(known, {L"Tool", L"tool.exe", theirs.Location()}));
}

// Every kind of finding has its own words, which show each field it was
// given from outside, made safe to show: a direction mark in a name hides
// nothing around it.
TEST(FindingWords, EachKindIsSaidWithWhatCameFromOutsideMadeSafe) {
    const std::wstring hidden = L"evil\x202Egpj.exe";
    std::set<std::wstring> said;
    for (int i = 0; i < kFindingKinds; ++i) {
        const Finding f{.kind = static_cast<Finding::Kind>(i), .item = L"item" + hidden,
                        .location = L"place" + hidden, .found = L"found" + hidden, .before = L"before" + hidden,
                        .reason = L"reason" + hidden, .names = {L"name" + hidden}, .result = MoveResult::Link,
                        // A folder refused for a reason that names it (one with no place has none to name).
                        .ownFolder = OwnFolderRefusal::Why::SomeoneElses};
        const std::wstring words = WordsOf(f);
        EXPECT_TRUE(said.insert(words).second) << "kind " << i << " says what another says";
        EXPECT_EQ(words.find(L'\x202E'), std::wstring::npos) << Narrow(words);
        const bool namesSomething = words.find(L"<U+202E>") != std::wstring::npos;
        EXPECT_TRUE(namesSomething || f.kind == Finding::Kind::RecordBroken || f.kind == Finding::Kind::FirstStart ||
                    f.kind == Finding::Kind::MachineUnrecorded || f.kind == Finding::Kind::RecordForged ||
                    f.kind == Finding::Kind::RecordVanished)
            << "kind " << i << " names nothing it was given: " << Narrow(words);
    }
    const Finding first{.kind = Finding::Kind::FirstStart, .whose = Finding::Whose::Both};
    EXPECT_TRUE(WordsOf(first).starts_with(UiText(IDS_FIRST_START_MARK)));
}

}  // namespace
}  // namespace kb::test
