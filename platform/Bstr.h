#pragma once
// A BSTR owned: made from a text to hand to a COM call, or received from
// one (put), and freed once.
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace kb {

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(const std::wstring& text)
        : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    operator BSTR() const noexcept { return text_; }
    // For a call that hands one back: what was held is freed first.
    BSTR* put() noexcept {
        ::SysFreeString(text_);
        text_ = nullptr;
        return &text_;
    }
    // The text, whole (a BSTR may hold a null character); empty for none.
    std::wstring Text() const { return text_ ? std::wstring(text_, ::SysStringLen(text_)) : std::wstring(); }

private:
    BSTR text_ = nullptr;
};

}  // namespace kb
