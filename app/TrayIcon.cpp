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
    // The oldest layout that carries a 128-character tip: no balloons are used.
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;
    data.hWnd = window_;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = icon_.get();
    std::wcsncpy(data.szTip, tip_.c_str(), std::size(data.szTip) - 1);
    return ::Shell_NotifyIconW(action, &data) != FALSE;
}

bool TrayIcon::Add() noexcept {
    added_ = !InjectFault(FaultPoint::TrayIconAdd) && Notify(NIM_ADD);
    return added_;
}

}  // namespace kb
