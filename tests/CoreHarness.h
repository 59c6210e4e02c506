#pragma once
// Tests of the guard core: the sandbox, the test's own folders, and the
// entries as the core reads them.
#include <functional>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "shelllink/ShellLink.h"
#include "guard/Guard.h"
#include "reading/Inventory.h"

namespace kb {
// For test messages: found by argument lookup beside the record.
void PrintTo(const ShellLinkData& link, std::ostream* os);
}  // namespace kb

namespace kb::test {

inline const std::wstring kCv = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
inline const std::wstring kRun = kCv + L"Run";
using Names = std::vector<std::wstring>;

// What a guard tells, gathered as its sink: each kind taken as told since
// it was last taken.
class Told {
public:
    void Listen(StartupGuard& guard) {
        guard.SetSink([this](const GuardEvent& event) { events_.push_back(event); });
    }
    template <typename Event>
    std::vector<Event> Take() {
        std::vector<Event> taken;
        std::erase_if(events_, [&](const GuardEvent& event) {
            const Event* one = std::get_if<Event>(&event);
            if (one) taken.push_back(*one);
            return one != nullptr;
        });
        return taken;
    }

private:
    std::vector<GuardEvent> events_;
};

class CoreTest : public Sandbox {
protected:
    std::wstring CommonStartup() { return Folder(L"Common Startup"); }
    std::wstring UserStartup() { return Folder(L"Startup"); }
    std::wstring Windows() { return Folder(L"Windows"); }
    // Makes the backup folder, which the store never makes itself.
    std::wstring Pss() {
        Windows();
        return Folder(L"Windows\\pss");
    }

    // A file to point at, in "Program Files".
    std::wstring Target(const std::wstring& name);
    // A shortcut in the folder, pointing at a file made for it; its target.
    std::wstring MakeShortcut(const std::wstring& folder, const std::wstring& name);
    // A shortcut with every field set, as a tray program's might be.
    ShellLinkData RichLink(const std::wstring& name);
    // The record as the shell reads it back from a file written with it:
    // what "the same shortcut" means. (Wine's reader, for one, does not
    // take the show command from the file.)
    ShellLinkData AsRead(const ShellLinkData& link);

    // What the core reads now.
    LiveEntries Live();
    StoredEntries Stored();
    std::vector<SkippedValue> skipped;
    // The one live entry or stored entry of that name; fails the test when none.
    RunValueEntry Value(const std::wstring& name, const std::wstring& rootName = L"HKCU");
    ShortcutEntry Shortcut(const std::wstring& name);
    StoredRunEntry StoredValue(const std::wstring& item);
    StoredShortcutEntry StoredShortcut(const std::wstring& item);
    // Writes a startupreg subkey as the other utility lays it out.
    void StoreValueEntry(const std::wstring& subkey, const std::wstring& item,
                         const std::wstring& command, const std::wstring& hkey = L"HKCU",
                         const std::wstring& key = kRun);
};

// The user's record of that name as another program of the user rewrites
// it: its lines (the last one the seal, where there is one) changed, and
// its checksum made again, which needs no secret.
void RewriteUserRecord(const wchar_t* name, const std::function<void(std::vector<std::wstring>& lines)>& change);

// A shortcut record with only its target.
inline ShellLinkData LinkTo(const std::wstring& target) {
    ShellLinkData link;
    link.Target = target;
    return link;
}

template <typename Entry>
Names NamesOf(const std::vector<Entry>& entries) {
    Names names;
    for (const Entry& e : entries) {
        if constexpr (requires { e.name; })
            names.push_back(e.name);
        else
            names.push_back(e.item);
    }
    return names;
}

}  // namespace kb::test
