// A bare notification-area program: a hidden window, an icon in the
// notification area, a message loop, and nothing else. The benchmark
// compares Keepboot's idle memory with this one's under the same Wine.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"BareTray";
    ::RegisterClassW(&windowClass);
    const HWND window = ::CreateWindowExW(0, L"BareTray", L"Bare tray", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                          nullptr, nullptr, instance, nullptr);
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP;
    icon.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
    ::lstrcpynW(icon.szTip, L"Bare tray", 64);
    ::Shell_NotifyIconW(NIM_ADD, &icon);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::Shell_NotifyIconW(NIM_DELETE, &icon);
    return 0;
}
