#include "startpage/StartPages.h"

#include "platform/Error.h"
#include "platform/Registry.h"

namespace kb {

const std::array<StartPageValue, kStartPageCount> kStartPageValues = {{
    {HKEY_LOCAL_MACHINE, L"Start Page", L"Internet Explorer Start Pages (Local Machine)"},
    {HKEY_CURRENT_USER, L"Start Page", L"Internet Explorer Start Pages (Current User)"},
    {HKEY_LOCAL_MACHINE, L"Default_Page_URL", L"Internet Explorer Default Page URL (Local Machine)"},
    {HKEY_CURRENT_USER, L"Default_Page_URL", L"Internet Explorer Default Page URL (Current User)"},
}};

std::optional<std::wstring> ReadStartPage(std::size_t index) {
    const StartPageValue& value = kStartPageValues.at(index);
    const OpenedKey key = RegKey::OpenForReading(value.root, kStartPageKey);
    if (!key) return std::nullopt;
    const std::optional<RegValue> data = key->Query(value.name);
    if (!data) return std::wstring();
    if (!data->IsText()) return std::nullopt;
    return data->Text();
}

bool WriteStartPage(std::size_t index, const std::wstring& text) {
    const StartPageValue& value = kStartPageValues.at(index);
    OpenedKey key = RegKey::OpenForWriting(value.root, kStartPageKey);
    if (!key) return false;
    // An expandable value stays expandable.
    const std::optional<RegValue> now = key->Query(value.name);
    key->WriteString(value.name, text, now && now->type == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ);
    return true;
}

std::vector<std::pair<std::size_t, std::wstring>> CheckStartPages(
    Policy policy, const StartPageReferences& references,
    const std::function<Decision(const std::wstring& question)>& ask, const Told& told) {
    std::vector<std::pair<std::size_t, std::wstring>> accepted;
    if (policy == Policy::Allow) return accepted;
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        if (!references[i]) continue;
        // A value that cannot be read has not changed as far as anyone knows.
        const std::optional<std::wstring> live = ReadStartPage(i);
        if (!live || *live == *references[i]) continue;
        try {
            const Decision decision =
                policy == Policy::DisableSilently
                    ? Decision::Disable
                    : ask(std::wstring(kStartPageValues[i].caption) + L" will change to \"" +
                          *live + L"\", do you want to disbale it?");  // "disbale": the prompt's own text
            if (decision == Decision::Disable) WriteStartPage(i, *references[i]);
            if (decision == Decision::Allow) {
                accepted.emplace_back(i, *live);
                WriteStartPage(i, *live);
            }
            if (told) told(i, *live, *references[i], decision, policy != Policy::DisableSilently);
        } catch (const Error&) {
            // A value that could not be put back is met again next time; the others go on.
        }
    }
    return accepted;
}

}  // namespace kb
