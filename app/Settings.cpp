// Settings file and self-start.
#include "app/Settings.h"

#include "app/DisableForm.h"
#include "platform/AppTitle.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "platform/IntText.h"
#include "platform/Registry.h"

namespace kb {

namespace {

constexpr wchar_t kSection[] = L"disable";
constexpr wchar_t kMachineRunKey[] = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring ReadProfileText(const std::wstring& file, const wchar_t* key) {
    std::wstring text(256, L'\0');
    for (;;) {
        const DWORD length = ::GetPrivateProfileStringW(kSection, key, L"", text.data(),
                                                        static_cast<DWORD>(text.size()),
                                                        file.c_str());
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);  // cut short: ask again with more room
    }
}

void WriteProfileText(const std::wstring& file, const wchar_t* key, const std::wstring& text) {
    if (InjectFault(FaultPoint::SettingsWrite) ||
        !::WritePrivateProfileStringW(kSection, key, text.c_str(), file.c_str()))
        throw Error(L"Unable to write to " + file);
}

bool IsChecked(HWND box) {
    return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

UINT IntervalMilliseconds(int seconds) noexcept {
    const unsigned long long milliseconds = static_cast<unsigned long long>(seconds) * 1000u;
    return milliseconds > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM
                                             : static_cast<UINT>(milliseconds);
}

std::wstring SettingsFileFor(const std::wstring& executable) {
    const std::size_t nameStart = executable.find_last_of(L"\\/") + 1;  // npos + 1 == 0
    const std::size_t dot = executable.rfind(L'.');
    if (dot == std::wstring::npos || dot < nameStart) return executable + L".ini";
    return executable.substr(0, dot) + L".ini";
}

std::wstring TDisableForm::ExecutablePath() const {
    if (!options_.executable.empty()) return options_.executable;
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void TDisableForm::SetCheckBox(HWND box, bool checked) {
    if (IsChecked(box) == checked) return;
    ::SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // A check box runs its handler whenever its state changes.
    OnCommand(::GetDlgCtrlID(box), BN_CLICKED);
}

void TDisableForm::LoadSettings() {
    const std::wstring file = SettingsFileFor(ExecutablePath());
    auto read = [&](const wchar_t* key, int fallback) {
        return StrToIntDef(ReadProfileText(file, key), fallback);
    };
    SystemRadioGroup.SetItemIndex(read(L"system", SystemRadioGroup.ItemIndex()));
    IERadioGroup.SetItemIndex(read(L"ie", IERadioGroup.ItemIndex()));
    SetCheckBox(StartupCheckBox, read(L"startup", IsChecked(StartupCheckBox) ? 1 : 0) != 0);
    SetCheckBox(IntervalCheckBox, read(L"interval", IsChecked(IntervalCheckBox) ? 1 : 0) != 0);
    const int seconds = read(L"interval_second", static_cast<int>(Timer().Interval() / 1000));
    ::SetWindowTextW(IntervalEdit, std::to_wstring(seconds).c_str());
    if (seconds > 0) Timer().SetInterval(IntervalMilliseconds(seconds));
}

void TDisableForm::SaveSettings() {
    const std::wstring file = SettingsFileFor(ExecutablePath());
    WriteProfileText(file, L"system", std::to_wstring(SystemRadioGroup.ItemIndex()));
    WriteProfileText(file, L"ie", std::to_wstring(IERadioGroup.ItemIndex()));
    WriteProfileText(file, L"startup", IsChecked(StartupCheckBox) ? L"1" : L"0");
    WriteProfileText(file, L"interval", IsChecked(IntervalCheckBox) ? L"1" : L"0");
    const int seconds =
        StrToIntDef(WindowText(IntervalEdit), static_cast<int>(Timer().Interval() / 1000));
    WriteProfileText(file, L"interval_second", std::to_wstring(seconds));
}

void TDisableForm::IntervalCheckBoxClick() {
    // A disabled edit box draws on the button face, an enabled one on the window colour.
    ::EnableWindow(IntervalEdit, IsChecked(IntervalCheckBox));
    ::InvalidateRect(IntervalEdit, nullptr, TRUE);
}

void TDisableForm::StartupCheckBoxClick() {
    if (!FormReady) return;
    {
        Registry reg;
        reg.SetRoot(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(kMachineRunKey, false)) {
            if (IsChecked(StartupCheckBox))
                reg.WriteString(kAppTitle, L"\"" + ExecutablePath() + L"\" -start");
            else if (reg.ValueExists(kAppTitle))
                reg.DeleteValue(kAppTitle);
        }
    }
    // The program's own entry is known to the watch from now on.
    RefrushButtonClick();
}

}  // namespace kb
