#include "app/Texts.h"

#include <vector>

namespace kb {

namespace {

// Loaded whole at first use: the texts never change while the program runs,
// and a reference into the table stays good.
const std::vector<std::wstring>& Table() {
    static const std::vector<std::wstring> table = [] {
        std::vector<std::wstring> texts;
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        for (UINT id = IDS_FIRST; id <= IDS_LAST; ++id) {
            // Length 0 gives the resource's own text, which need not end in NUL.
            const wchar_t* text = nullptr;
            const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
            texts.emplace_back(length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length))
                                                  : std::wstring());
        }
        return texts;
    }();
    return table;
}

}  // namespace

const std::wstring& UiText(UINT id) {
    static const std::wstring none;
    if (id < IDS_FIRST || id > IDS_LAST) return none;
    return Table()[id - IDS_FIRST];
}

std::wstring UiText(UINT id, std::initializer_list<std::wstring_view> fill) {
    return Filled(UiText(id), fill);
}

std::wstring Filled(std::wstring_view text, std::initializer_list<std::wstring_view> fill) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'%' && i + 1 < text.size() && text[i + 1] >= L'1' && text[i + 1] <= L'9') {
            const std::size_t n = static_cast<std::size_t>(text[i + 1] - L'1');
            if (n < fill.size()) out += *(fill.begin() + n);
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace kb
