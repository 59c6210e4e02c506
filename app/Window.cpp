#include "app/Window.h"

#include "platform/NewerWindows.h"

#include "app/ErrorReport.h"
#include "platform/Error.h"
#include "platform/Faults.h"
#include "app/Texts.h"

namespace kb {

WindowBase::~WindowBase() {
    if (hwnd_) {
        // Unbind first: messages sent while destroying must not reach a
        // half-destroyed object.
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void WindowBase::RegisterClassOnce(const WindowClass& windowClass) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (::GetClassInfoExW(instance, windowClass.name, &existing)) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowBase::Procedure;
    wc.hInstance = instance;
    wc.hIcon = windowClass.icon;
    wc.hIconSm = windowClass.icon;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = windowClass.background;
    wc.lpszClassName = windowClass.name;
    if (!::RegisterClassExW(&wc)) {
        const DWORD code = ::GetLastError();
        throw Error(UiText(IDS_NO_WINDOW_CLASS), code);
    }
}

void WindowBase::CreateOf(const WindowClass& windowClass, const WindowArgs& args) {
    RegisterClassOnce(windowClass);
    const HMENU noMenu = nullptr;
    if (InjectFault(FaultPoint::WindowCreate)) throw Error(UiText(IDS_NO_WINDOW), ERROR_NOT_ENOUGH_MEMORY);
    if (!::CreateWindowExW(args.exStyle, windowClass.name, args.caption, args.style, args.x, args.y, args.width,
                           args.height, args.parent, noMenu, ::GetModuleHandleW(nullptr), this)) {
        const DWORD code = ::GetLastError();
        throw Error(UiText(IDS_NO_WINDOW), code);
    }
}

LRESULT CALLBACK WindowBase::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<WindowBase*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        self = static_cast<WindowBase*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        ReportCurrentException();
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {
std::wstring& UiFontFace() {
    static std::wstring face;
    return face;
}
}  // namespace

void SetUiFontFace(std::wstring face) {
    UiFontFace() = std::move(face);
}

HFONT CreateUiFont(const DpiScale& scale) {
    LOGFONTW logFont{};
    logFont.lfHeight = -::MulDiv(8, scale.Dpi(), 72);  // 11 pixels at 96 dots per inch
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = UiFontFace().empty() ? L"Tahoma" : UiFontFace();
    face.copy(logFont.lfFaceName, std::size(logFont.lfFaceName) - 1);
    return ::CreateFontIndirectW(&logFont);
}

DpiScale::DpiScale() {
    HDC screen = ::GetDC(nullptr);
    dpi_ = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    if (dpi_ <= 0) dpi_ = 96;
}

void PlaceForScale(HWND window, SIZE client, const RECT* suggested) {
    // Where Windows suggests first: on that monitor the frame is drawn at its
    // scale, and the size below is taken from that frame.
    if (suggested)
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SizeClientTo(window, client);
}

void SizeClientTo(HWND window, SIZE client) {
    RECT outer{}, inner{};
    ::GetWindowRect(window, &outer);
    ::GetClientRect(window, &inner);
    ::SetWindowPos(window, nullptr, 0, 0, client.cx + (outer.right - outer.left) - inner.right,
                   client.cy + (outer.bottom - outer.top) - inner.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int ChromeHeightOf(HWND window) {
    RECT outer{}, inner{};
    ::GetWindowRect(window, &outer);
    ::GetClientRect(window, &inner);
    return (outer.bottom - outer.top) - inner.bottom;
}

DpiScale DpiScale::Of(HWND window) {
    // Windows 8.1 knows each monitor's DPI but not yet each window's.
    const std::optional<int> dpi = DpiOfWindow(window);
    return dpi ? DpiScale(*dpi) : Of(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

DpiScale DpiScale::Of(HMONITOR monitor) {
    const std::optional<int> dpi = DpiOfMonitor(monitor);
    return dpi ? DpiScale(*dpi) : DpiScale();
}

}  // namespace kb
