// The four Internet Explorer start-page values: shown and written on the
// third page, and guarded by the second half of every watch tick.
#include <array>

#include "app/DisableForm.h"
#include "platform/Registry.h"
#include "startup/StartupDlg.h"

namespace kb {

namespace {

constexpr wchar_t kMainKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main";

struct StartPageValue {
    HKEY root;
    const wchar_t* name;
};

// In their fixed order, beside IEEdit1 to IEEdit4.
const StartPageValue kStartPageValues[] = {
    {HKEY_LOCAL_MACHINE, L"Start Page"},
    {HKEY_CURRENT_USER, L"Start Page"},
    {HKEY_LOCAL_MACHINE, L"Default_Page_URL"},
    {HKEY_CURRENT_USER, L"Default_Page_URL"},
};

}  // namespace

std::array<HWND, 4> TDisableForm::StartPageEdits() const {
    return {IEEdit1, IEEdit2, IEEdit3, IEEdit4};
}

void TDisableForm::ReadStartPages() {
    const auto edits = StartPageEdits();
    if (!Scanning)
        for (HWND edit : edits) ::SetWindowTextW(edit, L"");
    Registry reg;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        reg.SetRoot(kStartPageValues[i].root);
        const bool opened = reg.OpenKey(kMainKey, false);
        if (Scanning) liveStartPageRead_[i] = opened;
        if (opened) {
            std::wstring text = reg.ReadString(kStartPageValues[i].name);
            if (Scanning)
                LiveStartPages[i] = std::move(text);
            else
                ::SetWindowTextW(edits[i], text.c_str());
        }
        reg.CloseKey();
    }
}

void TDisableForm::ApplyButton1Click(HWND sender) {
    const auto edits = StartPageEdits();
    Registry reg;
    for (std::size_t i = 0; i < edits.size(); ++i) {
        if (sender != ApplyButton1 && sender != edits[i]) continue;
        reg.SetRoot(kStartPageValues[i].root);
        if (reg.OpenKey(kMainKey, false)) reg.WriteString(kStartPageValues[i].name, WindowText(edits[i]));
        reg.CloseKey();
    }
}

void TDisableForm::RefrushButton1Click() {
    ReadStartPages();
}

void TDisableForm::GuardStartPages() {
    const auto policy = [this] { return IERadioGroup.ItemIndex(); };
    if (policy() != 0 && policy() != 1) return;
    ReadStartPages();
    const auto edits = StartPageEdits();
    const std::array<HWND, 4> labels{IELabel1, IELabel2, IELabel3, IELabel4};
    for (std::size_t i = 0; i < edits.size(); ++i) {
        // A value this tick could not read has not changed as far as anyone
        // knows; comparing its old reading would ask about a change that
        // never happened, at every tick.
        if (!liveStartPageRead_[i]) continue;
        CheckStartPage(LiveStartPages[i], labels[i], edits[i]);
    }
}

void TDisableForm::CheckStartPage(std::wstring live, HWND label, HWND edit) {
    try {
        if (live == WindowText(edit)) return;
        int decision = TStartupDlg::kCancel;
        if (IERadioGroup.ItemIndex() == 1)
            decision = ShowPrompt(WindowText(label) + L" will change to \"" + live +
                                  L"\", do you want to disbale it?");
        if (IERadioGroup.ItemIndex() == 0) decision = TStartupDlg::kDisable;
        if (decision == TStartupDlg::kDisable) ApplyButton1Click(edit);
        if (decision == TStartupDlg::kEnable) {
            ::SetWindowTextW(edit, live.c_str());
            ApplyButton1Click(edit);
        }
    } catch (...) {
        // A check that fails is met again at the next tick; the others go on.
    }
}

}  // namespace kb
