#include "guard/EntryKinds.h"

#include "logon/LogonValues.h"

namespace kb {

namespace {

std::wstring StoreText(StoreKind store) {
    return store == StoreKind::User ? L"user" : L"shared";
}

}  // namespace

// An entry of the store comes back as a live one.

void KnowMoved(const StoredRunEntry& e, const StartupFolders&, LiveEntries& known) {
    RunKeyPlace place{nullptr, e.hkey, e.key, 0, {}};
    known.Of<RunValueEntry>().push_back({std::move(place), e.item, e.command, REG_SZ, false, e.raw});
}

void KnowMoved(const StoredShortcutEntry& e, const StartupFolders& folders, LiveEntries& known) {
    KnowFileBack(e.location, e.fileName, folders, known);
}

void KnowMoved(const LogonValueEntry&, const StartupFolders&, LiveEntries&) {}

std::vector<std::wstring> KeyTextsOf(const StoredRunEntry& e) {
    return {L"stored-value", StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
}

std::vector<std::wstring> KeyTextsOf(const StoredShortcutEntry& e) {
    return {L"stored-shortcut", StoreText(e.store), std::to_wstring(e.storeView), e.subkey};
}

// The value as the user saw it: another one now is not restored.
std::vector<std::wstring> KeyTextsOf(const LogonValueEntry& e) {
    return {L"logon-value", std::to_wstring(e.index), TextOf(e.value)};
}

bool HeldAside(const StoredRunEntry&) {
    return true;
}

bool HeldAside(const StoredShortcutEntry&) {
    return true;
}

bool HeldAside(const LogonValueEntry&) {
    return false;
}

}  // namespace kb
