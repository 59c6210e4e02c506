#include "app/NoticeList.h"

#include <cwchar>

#include "platform/Handle.h"

namespace kb {

void NoticeList::Add(const std::wstring& text) {
    if (!list_) return;
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t stamp[16];
    std::swprintf(stamp, std::size(stamp), L"%02u:%02u:%02u  ", now.wHour, now.wMinute,
                  now.wSecond);
    const std::wstring line = stamp + text;
    ::SendMessageW(list_, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    if (count > kKept) ::SendMessageW(list_, LB_DELETESTRING, static_cast<WPARAM>(count - 1), 0);

    // A long notice can be scrolled to rather than cut off.
    ClientDc dc(list_);
    SelectObjectScope select(dc.get(), reinterpret_cast<HFONT>(::SendMessageW(list_, WM_GETFONT, 0, 0)));
    SIZE extent{};
    ::GetTextExtentPoint32W(dc.get(), line.c_str(), static_cast<int>(line.size()), &extent);
    if (extent.cx + 8 > widest_) {
        widest_ = extent.cx + 8;
        ::SendMessageW(list_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest_), 0);
    }
}

}  // namespace kb
