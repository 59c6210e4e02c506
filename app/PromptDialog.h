#pragma once
// The prompt: one question, answered Disable, Enable or Cancel (also Esc
// and the close box). Its own top-level window, so it comes up while the
// main window is hidden.
#include <windows.h>

#include <memory>
#include <string>

#include "app/Controls.h"
#include "app/PngImage.h"
#include "app/Window.h"
#include "platform/Handle.h"
#include "places/Entries.h"
#include "policy/Policy.h"

namespace kb {

class PromptDialog : public WindowBase {
public:
    // Other programs and the whole-program tests find the dialog by it.
    static constexpr wchar_t kClassName[] = L"TStartupDlg";
    // The buttons' ids are the answers' classic codes.
    static constexpr int kDisableId = IDYES;   // 6
    static constexpr int kEnableId = IDNO;     // 7
    static constexpr int kCancelId = IDCANCEL; // 2
    static constexpr int kQuestionId = 100;
    static constexpr int kStartsId = 101, kFromId = 102, kArgumentsId = 103, kBeforeId = 104;

    // Makes the dialog, hidden, centred on the monitor where the user works.
    void Create();

    // Lifts the dialog above every window, shows the question (cut in its
    // middle, the cut said, when it would not fit), and below it the
    // program that would start (its file name always whole; several, all
    // listed), its arguments (cut in the middle, never at their end), what it
    // started before it changed, and the place in full, and waits for the
    // answer in a nested message loop. A quit message met
    // there answers Cancel and is passed on.
    // With shield set, Disable carries the shield: it needs administrator
    // rights, which Windows will ask for.
    Decision Ask(const std::wstring& question, const EntryDetails& details = {},
                 bool shield = false);

    // The session ends: a question still waiting is answered Disable, so
    // its entry does not run unanswered at the next logon. False when none
    // waits.
    bool HoldForSessionEnd() noexcept;

    HWND DisableButton() const noexcept { return disableButton_; }
    HWND EnableButton() const noexcept { return enableButton_; }
    HWND Question() const noexcept { return question_; }
    HWND Starts() const noexcept { return starts_; }
    HWND Arguments() const noexcept { return arguments_; }
    HWND Before() const noexcept { return before_; }
    HWND From() const noexcept { return from_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int RunModal();
    void FocusDisable();
    static RECT FrameFor(const DpiScale& scale);
    // Centred on the monitor under the cursor, laid out for its DPI.
    void PlaceWhereTheUserWorks();
    // Lays the dialog out again for another DPI, at the place Windows
    // suggests or where it stands.
    void LayOutFor(const DpiScale& scale, const RECT* suggested);
    // The question and its details, fitted to the labels as they are now.
    void ShowTexts();

    DpiScale scale_;
    UniqueFont font_;
    std::unique_ptr<ControlSet> controls_;
    std::wstring askedQuestion_;
    EntryDetails askedDetails_;
    PngBitmap image_;
    // Sets a detail line, shortened to the label's width.
    void SetDetail(HWND label, const wchar_t* heading, const std::wstring& text);

    HWND disableButton_ = nullptr, enableButton_ = nullptr, question_ = nullptr;
    HWND starts_ = nullptr, arguments_ = nullptr, before_ = nullptr, from_ = nullptr;
    int result_ = 0;
    bool modal_ = false;
};

}  // namespace kb
