#pragma once
// The prompt: one question, answered Disable, Enable or Cancel (also Esc
// and the close box). Its own top-level window, so it comes up while the
// main window is hidden; modeless, so the program goes on while it waits.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "app/Controls.h"
#include "app/PngImage.h"
#include "app/Window.h"
#include "app/services/QuestionQueue.h"
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
    // Shown only for a service that runs: Disable stops it too when ticked.
    static constexpr int kStopId = 105;

    // Makes the dialog, hidden, centred on the monitor where the user works.
    void Create();

    // Lifts the dialog above every window and shows the question, and below
    // it the program that would start, its arguments, what it started
    // before it changed, and the place, each whole where the monitor has
    // room (a path wraps at its folders), and always to be selected and
    // copied. Returns at once: nothing waits for the user. The answer (Esc and the close box answer Cancel)
    // hides the dialog and reaches the handler set by OnAnswer.
    // With shield set, Disable carries the shield: it needs administrator
    // rights, which Windows will ask for.
    void Show(const kb::Question& question);
    // Told each answer, and whether the user asked a running service
    // disabled to be stopped too; it must not raise.
    void OnAnswer(std::function<void(Decision, bool stop)> handler) { answered_ = std::move(handler); }
    bool Showing() const noexcept { return showing_; }
    // Takes the question down unanswered.
    void Withdraw() noexcept;

    HWND DisableButton() const noexcept { return disableButton_; }
    HWND EnableButton() const noexcept { return enableButton_; }
    HWND Question() const noexcept { return question_; }
    HWND Starts() const noexcept { return starts_; }
    HWND Arguments() const noexcept { return arguments_; }
    HWND Before() const noexcept { return before_; }
    HWND From() const noexcept { return from_; }
    HWND StopBox() const noexcept { return stop_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    static constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

    void Answer(int id);
    // Whether the question asked offers to stop its service.
    bool OffersStop() const;
    void FocusDisable();
    static SIZE ClientFor(const DpiScale& scale);
    static RECT FrameFor(const DpiScale& scale);
    // Centred on the monitor under the cursor, laid out for its DPI.
    void PlaceWhereTheUserWorks();
    // Lays the dialog out again for another DPI, at the place Windows
    // suggests or where it stands.
    void LayOutFor(const DpiScale& scale, const RECT* suggested);
    // The question and its details in their fields, each as tall as its
    // lines, and the dialog as tall as they are, within the work area.
    void ArrangeTexts();
    int LineHeight() const;
    RECT WorkArea() const;
    std::array<HWND, 5> Fields() const noexcept { return {question_, starts_, arguments_, before_, from_}; }

    DpiScale scale_;
    UniqueFont font_;
    std::unique_ptr<ControlSet> controls_;
    kb::Question asked_;  // the accessor Question() hides the type here
    std::function<void(Decision, bool)> answered_;
    PngBitmap image_;

    HWND disableButton_ = nullptr, enableButton_ = nullptr, cancelButton_ = nullptr, question_ = nullptr;
    HWND starts_ = nullptr, arguments_ = nullptr, before_ = nullptr, from_ = nullptr, stop_ = nullptr;
    bool showing_ = false;
};

}  // namespace kb
