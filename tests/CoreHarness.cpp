#include "CoreHarness.h"

#include <commctrl.h>

#include <zlib.h>

#include <ostream>

#include "places/Records.h"
#include "platform/Registry.h"
#include "shelllink/ShellLink.h"
#include "reading/Inventory.h"
#include "store/Store.h"

namespace kb {

void PrintTo(const ShellLinkData& link, std::ostream* os) {
    *os << "{" << test::Narrow(link.Target) << " | " << test::Narrow(link.Arguments) << " | "
        << test::Narrow(link.Description) << " | " << test::Narrow(link.WorkingDirectory) << " | "
        << test::Narrow(link.IconLocation) << "," << link.IconIndex << " | show " << link.ShowCmd
        << " | hotkey " << link.HotKey << "}";
}

}  // namespace kb

namespace kb::test {

namespace {

template <typename Entry, typename Match>
Entry Find(const std::vector<Entry>& entries, const std::wstring& what, Match match) {
    for (const Entry& e : entries)
        if (match(e)) return e;
    ADD_FAILURE() << "no entry " << test::Narrow(what);
    return {};
}

}  // namespace

std::wstring CoreTest::Target(const std::wstring& name) {
    const std::wstring path = Folder(L"Program Files") + L"\\" + name + L".exe";
    WriteFileBytes(path, "MZ");
    return path;
}

std::wstring CoreTest::MakeShortcut(const std::wstring& folder, const std::wstring& name) {
    const std::wstring target = Target(name);
    WriteShellLink(folder + L"\\" + name + L".lnk", LinkTo(target));
    return target;
}

ShellLinkData CoreTest::RichLink(const std::wstring& name) {
    ShellLinkData link;
    link.Target = Target(name);
    link.Arguments = L"-min --tray";
    link.Description = L"Starts " + name + L" in the tray";
    link.WorkingDirectory = Folder(L"Work");
    link.IconLocation = Folder(L"Icons") + L"\\" + name + L".ico";
    link.IconIndex = 2;
    link.ShowCmd = SW_SHOWMAXIMIZED;
    link.HotKey = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    return link;
}

ShellLinkData CoreTest::AsRead(const ShellLinkData& link) {
    const std::wstring file = Folder(L"Scratch") + L"\\as-read.lnk";
    WriteShellLink(file, link);
    ShellLinkData read;
    ReadShellLink(file, read);
    ::DeleteFileW(file.c_str());
    return read;
}

LiveEntries CoreTest::Live() {
    return ReadLiveEntries(Folders(), skipped);
}

StoredEntries CoreTest::Stored() {
    return ReadStoredEntries(skipped);
}

RunValueEntry CoreTest::Value(const std::wstring& name, const std::wstring& rootName) {
    return Find(Live().Of<RunValueEntry>(), name, [&](const RunValueEntry& e) {
        return e.name == name && e.place.rootName == rootName;
    });
}

ShortcutEntry CoreTest::Shortcut(const std::wstring& name) {
    return Find(Live().Of<ShortcutEntry>(), name, [&](const ShortcutEntry& e) { return e.name == name; });
}

StoredRunEntry CoreTest::StoredValue(const std::wstring& item) {
    return Find(Stored().values, item, [&](const StoredRunEntry& e) { return e.item == item; });
}

StoredShortcutEntry CoreTest::StoredShortcut(const std::wstring& item) {
    return Find(Stored().shortcuts, item,
                [&](const StoredShortcutEntry& e) { return e.item == item; });
}

void CoreTest::StoreValueEntry(const std::wstring& subkey, const std::wstring& item,
                               const std::wstring& command, const std::wstring& hkey,
                               const std::wstring& key) {
    const std::wstring path = std::wstring(kStartupRegStore) + L"\\" + subkey;
    SetStringValue(HKEY_LOCAL_MACHINE, path, L"item", item);
    SetStringValue(HKEY_LOCAL_MACHINE, path, L"command", command);
    if (!hkey.empty()) SetStringValue(HKEY_LOCAL_MACHINE, path, L"hkey", hkey);
    SetStringValue(HKEY_LOCAL_MACHINE, path, L"key", key);
}

void RewriteUserRecord(const wchar_t* name, const std::function<void(std::vector<std::wstring>& lines)>& change) {
    const RegValue raw = *RegKey::OpenForReading(HKEY_CURRENT_USER, kRecordsKey)->TryQuery(name);
    const std::wstring text(reinterpret_cast<const wchar_t*>(raw.data.data()), raw.data.size() / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.pop_back();  // the checksum
    change(lines);
    std::wstring body;
    for (const std::wstring& line : lines) body += line + L"\n";
    body += std::to_wstring(::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                                    static_cast<uInt>(body.size() * sizeof(wchar_t)))) +
            L"\n";
    SetRawValue(HKEY_CURRENT_USER, kRecordsKey, name, REG_BINARY, body.data(),
                static_cast<DWORD>(body.size() * sizeof(wchar_t)));
}

}  // namespace kb::test
