#pragma once
// The one window base: the object's pointer is stored at WM_NCCREATE and
// every message goes to its HandleMessage. No exception leaves a window
// procedure: the base catches at the edge and shows the default error
// report, so the event in progress ends and the program goes on.
#include <windows.h>

#include <string>

namespace kb {

// A window class: registered once per process, by its name.
struct WindowClass {
    const wchar_t* name;
    HICON icon = nullptr;
    HBRUSH background = nullptr;
};

// How one window is made, by name: a field left out is the default.
struct WindowArgs {
    const wchar_t* caption = L"";
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HWND parent = nullptr;
};

class WindowBase {
public:
    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    virtual ~WindowBase();

    HWND Handle() const noexcept { return hwnd_; }

protected:
    // Creates the window of the class (registered with the base's procedure
    // the first time) bound to this object; raises when it cannot.
    void CreateOf(const WindowClass& windowClass, const WindowArgs& args);

    // Handles one message. What it does not handle goes to Default().
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }

private:
    static void RegisterClassOnce(const WindowClass& windowClass);
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// A window's text.
std::wstring WindowText(HWND window);

// Scales lengths given at 96 dots per inch to a DPI: the system's, which
// holds for every window before Windows 8.1, or a monitor's.
class DpiScale {
public:
    DpiScale();
    explicit DpiScale(int dpi) noexcept : dpi_(dpi > 0 ? dpi : 96) {}
    // The window's monitor's where Windows lays out each window for its
    // monitor, else the system's.
    static DpiScale Of(HWND window);
    // The monitor's, else the system's.
    static DpiScale Of(HMONITOR monitor);
    int operator()(int length) const noexcept { return ::MulDiv(length, dpi_, 96); }
    int Dpi() const noexcept { return dpi_; }

private:
    int dpi_;
};

// A top-level window moved to a monitor of another DPI: at the rectangle
// Windows suggests, or where it stands, its client area the size given.
void PlaceForScale(HWND window, SIZE client, const RECT* suggested);
// Sizes the window so that its client area is the size given, by the frame
// it has now: exact whatever the DPI its caption and borders are drawn at.
void SizeClientTo(HWND window, SIZE client);
// The height of the window's caption and borders as they are drawn now.
int ChromeHeightOf(HWND window);

// The program's control font, Tahoma 8 points, at the scale's DPI.
HFONT CreateUiFont(const DpiScale& scale);
// Tests lay the windows out in another face too; empty restores Tahoma.
void SetUiFontFace(std::wstring face);

}  // namespace kb
