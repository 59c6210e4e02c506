#include "app/TrayIcon.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "platform/Faults.h"

namespace kb {

namespace {
constexpr UINT kIconId = 1;
}

TrayIcon::TrayIcon(HWND window, UINT callbackMessage, UniqueIcon icon, std::wstring tip)
    : window_(window), callbackMessage_(callbackMessage), icon_(std::move(icon)),
      tip_(std::move(tip)) {}

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
    std::wcsncpy(data.szInfo, text.c_str(), std::size(data.szInfo) - 1);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool TrayIcon::Add() noexcept {
    added_ = !InjectFault(FaultPoint::TrayIconAdd) && Notify(NIM_ADD);
    return added_;
}

}  // namespace kb
