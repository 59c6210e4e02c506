#pragma once
// The notification-area icon: added when made, removed when destroyed.
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

    // Adds the icon; raises "Cannot create shell notification icon".
    void Add();
    // After the taskbar was re-created: the shell forgot every icon.
    void Readd() noexcept;

private:
    bool Notify(DWORD action) noexcept;

    HWND window_;
    UINT callbackMessage_;
    UniqueIcon icon_;
    std::wstring tip_;
    bool added_ = false;
};

}  // namespace kb
