#pragma once
// The prompt dialog: one question, answered Disable (6), Enable (7) or
// Cancel (2; also Esc and the close box).
#include <windows.h>

#include <string>

#include "platform/PngImage.h"
#include "platform/Window.h"

namespace kb {

class TStartupDlg : public WindowBase {
public:
    static constexpr wchar_t kClassName[] = L"TStartupDlg";
    static constexpr int kDisable = IDYES;   // 6
    static constexpr int kEnable = IDNO;     // 7
    static constexpr int kCancel = IDCANCEL; // 2
    static constexpr int kQuestionId = 100;

    // Makes the dialog, hidden, centred on the screen.
    void Create();

    // Lifts the dialog above every window, shows the question and waits
    // for the answer in a nested message loop.
    int ShowPrompt(const std::wstring& question);

    HWND DisableBtn = nullptr, EnableBtn = nullptr, StaticText = nullptr, CancelBtn = nullptr;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int RunModal();
    void FormActivate();

    DpiScale scale_;
    UniqueFont font_;
    PngBitmap image_;
    int result_ = 0;
    bool modal_ = false;
};

}  // namespace kb
