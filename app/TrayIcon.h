#pragma once
// The notification-area icon, removed when destroyed.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace kb {

class TrayIcon {
public:
    // Clicks arrive at the window as callbackMessage with the mouse
    // message in lParam.
    TrayIcon(HWND window, UINT callbackMessage, UniqueIcon icon, std::wstring tip);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Adds the icon; false while the shell takes none (at logon it may not
    // be ready yet). Adding it again after the taskbar was re-created puts
    // back what the shell forgot.
    bool Add() noexcept;
    bool Shown() const noexcept { return added_; }
    // A balloon beside the icon: a notice that pauses nothing and nobody
    // has to close. False when the shell took none.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text) noexcept;

private:
    bool Notify(DWORD action) noexcept;

    HWND window_;
    UINT callbackMessage_;
    UniqueIcon icon_;
    std::wstring tip_;
    bool added_ = false;
};

}  // namespace kb
