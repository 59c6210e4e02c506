#include "kinds/ServiceStore.h"

#include "places/StartupPlaces.h"
#include "platform/CurrentUser.h"
#include "platform/Error.h"
#include "platform/Registry.h"
#include "platform/TextCompare.h"
#include "store/StoreLayout.h"

namespace kb {

namespace {

constexpr wchar_t kServiceStore[] = L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\services";
// Beside the utility's own number: whether the automatic start was delayed,
// which it does not keep itself and ignores.
constexpr wchar_t kDelayed[] = L"DelayedAutostart";

std::optional<DWORD> NumberIn(const RegKey& key, const std::wstring& name) {
    std::optional<RegValue> value;
    try {
        value = key.TryQuery(name);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
    return *reinterpret_cast<const DWORD*>(value->data.data());
}

// Only a start type that starts something, or waits to be asked, comes back.
std::optional<KeptService> Kept(std::optional<DWORD> start, std::optional<DWORD> delayed) {
    if (!start || *start > SERVICE_DEMAND_START) return std::nullopt;
    return KeptService{*start, *start == SERVICE_AUTO_START && delayed.value_or(0) != 0};
}

}  // namespace

std::map<std::wstring, KeptService> KeptServices() {
    std::map<std::wstring, KeptService> kept;
    const OpenedKey store = RegKey::OpenForReading(HKEY_LOCAL_MACHINE, kServiceStore, MachineView());
    if (!store) return kept;
    try {
        for (const std::wstring& name : store->ValueNames())  // XP's form
            if (const auto service = Kept(NumberIn(*store, name), std::nullopt)) kept[FoldCase(name)] = *service;
        for (const std::wstring& name : store->SubkeyNames()) {
            const OpenedKey key = RegKey::OpenForReading(store->get(), name);
            if (!key) continue;
            if (const auto service = Kept(NumberIn(*key, name), NumberIn(*key, kDelayed)))
                kept[FoldCase(name)] = *service;
        }
    } catch (const Error&) {
        // Read as far as it goes: what is not read is not given back.
    }
    return kept;
}

std::optional<KeptService> KeptServiceOf(const std::wstring& name) {
    const std::map<std::wstring, KeptService> kept = KeptServices();
    const auto it = kept.find(FoldCase(name));
    return it == kept.end() ? std::nullopt : std::optional<KeptService>(it->second);
}

void KeepService(const std::wstring& name, const KeptService& kept) {
    if (!IsVistaOrLater()) {
        OpenedKey store = RegKey::Create(HKEY_LOCAL_MACHINE, kServiceStore, MachineView());
        if (!store) throw Error(L"Failed to open the store of disabled services", store.Error());
        store->WriteNumber(name, kept.start);
        return;
    }
    OpenedKey key = RegKey::Create(HKEY_LOCAL_MACHINE, std::wstring(kServiceStore) + L"\\" + name, MachineView());
    if (!key) throw Error(L"Failed to keep the disabled service '" + name + L"'", key.Error());
    key->WriteNumber(name, kept.start);
    // One kept before, of another start, is no word on this one.
    if (kept.delayed)
        key->WriteNumber(kDelayed, 1);
    else
        key->DeleteValue(kDelayed);
    store::WriteDisabledDate(*key);
}

LONG ForgetService(const std::wstring& name) {
    LONG result = RegKey::DeleteTree(HKEY_LOCAL_MACHINE, std::wstring(kServiceStore) + L"\\" + name, MachineView());
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    if (OpenedKey store = RegKey::OpenForWriting(HKEY_LOCAL_MACHINE, kServiceStore, MachineView())) {
        const LONG value = store->DeleteValue(name);
        if (value != ERROR_SUCCESS && value != ERROR_FILE_NOT_FOUND && result == ERROR_SUCCESS) result = value;
    }
    return result;
}

}  // namespace kb
