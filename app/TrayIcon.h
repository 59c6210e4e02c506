#pragma once
// The notification-area icon, removed when destroyed.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace kb {

class TrayIcon {
public:
    // Clicks arrive at the window as callbackMessage with the mouse
    // message in lParam; retries run on the window's timer retryTimerId.
    TrayIcon(HWND window, UINT callbackMessage, UINT_PTR retryTimerId, UniqueIcon icon,
             std::wstring tip);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Adds the icon; false while the shell takes none (at logon it may not
    // be ready yet). Adding it again after the taskbar was re-created puts
    // back what the shell forgot.
    bool Add() noexcept;
    // Adds the icon, and when the shell takes none tries again every two
    // seconds for two minutes (at logon the shell may come up after the
    // program), then says so.
    void Show();
    // A timer message of the window: true when it was the retry's.
    bool OnTimer(UINT_PTR timerId);
    bool Shown() const noexcept { return added_; }
    // A balloon beside the icon: a notice that pauses nothing and nobody
    // has to close. False when the shell took none.
    bool ShowBalloon(const std::wstring& title, const std::wstring& text) noexcept;

private:
    bool Notify(DWORD action) noexcept;

    HWND window_;
    UINT callbackMessage_;
    UINT_PTR retryTimerId_;
    int retries_ = 0;
    UniqueIcon icon_;
    std::wstring tip_;
    bool added_ = false;
};

}  // namespace kb
