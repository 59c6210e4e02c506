#include "platform/FieldText.h"

namespace kb {

std::wstring EscapedField(const std::wstring& text) {
    std::wstring out;
    for (const wchar_t c : text) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\0': out += L"\\0"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<std::wstring> SplitFields(const std::wstring& line) {
    std::vector<std::wstring> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (c == L'\t') {
            fields.emplace_back();
        } else if (c == L'\\' && i + 1 < line.size()) {
            const wchar_t next = line[++i];
            fields.back() += next == L't' ? L'\t' : next == L'n' ? L'\n' : next == L'r' ? L'\r'
                             : next == L'0' ? L'\0' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace kb
