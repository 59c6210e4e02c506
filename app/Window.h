#pragma once
// The one window base: the object's pointer is stored at WM_NCCREATE and
// every message goes to its HandleMessage. No exception leaves a window
// procedure: the base catches at the edge and shows the default error
// report, so the event in progress ends and the program goes on.
#include <windows.h>

#include <string>

namespace kb {

class WindowBase {
public:
    WindowBase() = default;
    WindowBase(const WindowBase&) = delete;
    WindowBase& operator=(const WindowBase&) = delete;
    virtual ~WindowBase();

    HWND Handle() const noexcept { return hwnd_; }

protected:
    // Registers the class once per process; the procedure is the base's.
    static void RegisterClassOnce(const wchar_t* className, HICON icon, HBRUSH background);
    // Creates the window bound to this object; raises when it cannot.
    void CreateBound(const wchar_t* className, const wchar_t* caption, DWORD style, DWORD exStyle,
                     int x, int y, int width, int height, HWND parent);

    // Handles one message. What it does not handle goes to Default().
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) {
        return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

// A window's text.
std::wstring WindowText(HWND window);

// Scales lengths given at 96 dots per inch to the screen's DPI.
class DpiScale {
public:
    DpiScale();
    int operator()(int length) const noexcept { return ::MulDiv(length, dpi_, 96); }
    int Dpi() const noexcept { return dpi_; }

private:
    int dpi_;
};

// The program's control font, Tahoma 8 points, at the scale's DPI.
HFONT CreateUiFont(const DpiScale& scale);
// Tests lay the windows out in another face too; empty restores Tahoma.
void SetUiFontFace(std::wstring face);

}  // namespace kb
