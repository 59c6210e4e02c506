#include "app/StartPagesPage.h"

#include "app/ControlIds.h"
#include "platform/Error.h"
#include "app/Texts.h"

namespace kb {

namespace {
// The label and box tops of the four values.
constexpr int kLabelTops[kStartPageCount] = {32, 80, 136, 184};
constexpr int kEditTops[kStartPageCount] = {51, 99, 155, 203};
}  // namespace

StartPagesPage::StartPagesPage(const PageFrame& frame, Watcher& watcher)
    : Page(frame), watcher_(watcher) {
    auto& make = Children();
    ui_.apply = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_APPLY).c_str(),
                                  .id = IdStartPagesApply, .x = 497, .y = 284, .width = 75,
                                  .height = 25},
                                 [this] { Write(); }));
    ui_.reload = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_REFRUSH).c_str(),
                                   .id = IdStartPagesReload, .x = 416, .y = 284, .width = 75,
                                   .height = 25},
                                  [this] { Reload(); }));
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        const int n = static_cast<int>(i);
        ui_.labels[i] = Control(make.Add({.kind = ControlKind::Label,
                                          .text = kStartPageValues[i].caption,
                                          .id = IdStartPageLabel0 + n, .x = 12,
                                          .y = kLabelTops[i]}));
        ui_.edits[i] = Control(make.Add({.kind = ControlKind::Edit, .id = IdStartPageEdit0 + n,
                                         .x = 12, .y = kEditTops[i], .width = 560, .height = 21}));
    }
}

void StartPagesPage::Reload() {
    // During a question the boxes are what it defends: Refrush reads them
    // again once it is answered, not before (the live value is the one
    // asked about).
    if (watcher_.Busy() || (asking_ && asking_())) {
        reloadPending_ = true;
        return;
    }
    ReadIntoBoxes(false);
}

void StartPagesPage::ReadIntoBoxes(bool keepLeftAsIs) {
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        if (keepLeftAsIs && watcher_.LeftAsIs(i)) continue;
        const std::optional<std::wstring> text = ReadStartPage(i);
        // A value that could not be read is not defended: empty text is no
        // reference to put back.
        SetBox(i, text.value_or(L""));
        watcher_.Defend(i, text);
    }
}

bool StartPagesPage::ShowDefended() {
    const std::optional<StartPageReferences> kept = watcher_.RestoreDefended();
    if (!kept) return false;
    for (std::size_t i = 0; i < kStartPageCount; ++i) SetBox(i, (*kept)[i].value_or(L""));
    return true;
}

void StartPagesPage::SetBox(std::size_t page, const std::wstring& text) {
    settingBoxes_ = true;
    ui_.edits[page].SetText(text);
    settingBoxes_ = false;
}

void StartPagesPage::OnEdited(HWND edit) {
    if (settingBoxes_) return;
    for (std::size_t i = 0; i < kStartPageCount; ++i)
        if (ui_.edits[i] == edit) watcher_.Defend(i, ui_.edits[i].Text());
}

void StartPagesPage::RunPutOffWork() {
    // Not while the question asked about a value still waits.
    if (!reloadPending_ || watcher_.Busy() || (asking_ && asking_())) return;
    reloadPending_ = false;
    ReadIntoBoxes(true);
}

void StartPagesPage::Write() {
    std::wstring failed;
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        const std::wstring text = ui_.edits[i].Text();
        bool written = false;
        try {
            written = WriteStartPage(i, text) == ERROR_SUCCESS;
        } catch (const Error&) {
        }
        // What is written is what the box holds: defended from now on.
        if (written) {
            watcher_.Defend(i, text);
            continue;
        }
        const std::wstring key =
            std::wstring(kStartPageValues[i].root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE\\"
                                                                         : L"HKEY_CURRENT_USER\\") +
            kStartPageKey;
        if (failed.find(key) == std::wstring::npos) failed += (failed.empty() ? L"" : L"; ") + key;
    }
    if (!failed.empty()) throw Error(UiText(IDS_UNABLE_TO_WRITE, {failed}));
}

}  // namespace kb
