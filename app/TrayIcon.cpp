#include "app/TrayIcon.h"

#include "app/BalloonText.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/ErrorReport.h"
#include "platform/Faults.h"
#include "app/Texts.h"

namespace kb {

namespace {
constexpr UINT kIconId = 1;
constexpr UINT kRetryMs = 2000;
constexpr int kRetries = 60;
}  // namespace

TrayIcon::TrayIcon(HWND window, UINT callbackMessage, UINT_PTR retryTimerId, UniqueIcon icon,
                   std::wstring tip)
    : window_(window), callbackMessage_(callbackMessage), retryTimerId_(retryTimerId),
      icon_(std::move(icon)), tip_(std::move(tip)) {}

TrayIcon::~TrayIcon() {
    if (added_) Notify(NIM_DELETE);
}

bool TrayIcon::Notify(DWORD action) noexcept {
    NOTIFYICONDATAW data{};
    // The oldest layout that carries a 128-character tip and balloons.
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = window_;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = icon_.get();
    std::wcsncpy(data.szTip, tip_.c_str(), std::size(data.szTip) - 1);
    return ::Shell_NotifyIconW(action, &data) != FALSE;
}

bool TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) noexcept {
    if (!added_) return false;
    NOTIFYICONDATAW data{};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = window_;
    data.uID = kIconId;
    data.uFlags = NIF_INFO;
    data.dwInfoFlags = NIIF_WARNING;
    std::wcsncpy(data.szInfoTitle, title.c_str(), std::size(data.szInfoTitle) - 1);
    // What came from the registry, shown safely, in lines that fit; a long
    // one loses its middle.
    static_assert(kBalloonMost < std::size(data.szInfo));
    const std::wstring shown = BalloonText(text);
    std::wcsncpy(data.szInfo, shown.c_str(), std::size(data.szInfo) - 1);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TrayIcon::Add() noexcept {
    added_ = !InjectFault(FaultPoint::TrayIconAdd) && Notify(NIM_ADD);
    return added_;
}

void TrayIcon::Show() {
    if (Add()) return;
    retries_ = 0;
    ::SetTimer(window_, retryTimerId_, kRetryMs, nullptr);
}

bool TrayIcon::OnTimer(UINT_PTR timerId) {
    if (timerId != retryTimerId_) return false;
    if (Add() || ++retries_ >= kRetries) ::KillTimer(window_, retryTimerId_);
    // Without the icon a hidden window cannot be brought back: say so. The
    // watch goes on all the same, and a new taskbar adds the icon.
    if (!added_ && retries_ >= kRetries) ShowErrorReport(UiText(IDS_NO_TRAY_ICON));
    return true;
}

}  // namespace kb
