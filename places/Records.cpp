#include "places/Records.h"

#include <zlib.h>

#include "platform/CurrentUser.h"
#include "platform/FieldText.h"
#include "platform/Error.h"
#include "places/RecordSeal.h"
#include "platform/Registry.h"
#include "places/StartupPlaces.h"

namespace kb {

namespace {

constexpr wchar_t kHeader[] = L"Keepboot record 1";
// The last line before the checksum of a sealed record.
constexpr wchar_t kSealLine[] = L"seal ";

REGSAM ViewOf(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? MachineView() : 0;
}

unsigned long ChecksumOf(const std::wstring& body) {
    return ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()),
                   static_cast<uInt>(body.size() * sizeof(wchar_t)));
}

std::wstring SealMark(const wchar_t* name) {
    return CurrentUserSid() + L":" + name;
}

// Of the user's record of that name: one record's seal never fits
// another's, nor another user's.
std::wstring SealOf(const std::vector<BYTE>& secret, const wchar_t* name, const std::wstring& text) {
    const std::wstring sealed = SealMark(name) + L"\n" + text;
    return kb::SealOf(secret, sealed.data(), sealed.size() * sizeof(wchar_t));
}

}  // namespace

RecordState ReadRecord(HKEY root, const wchar_t* name, RecordLines& lines) {
    lines.clear();
    // Below the user's key any program of the user writes: where this
    // process may check the administrators' seal, only what bears it is
    // read, and a record sealed once is never taken unsealed or missing.
    const std::optional<std::vector<BYTE>> secret = root == HKEY_CURRENT_USER ? SealSecret() : std::nullopt;
    const bool sealedBefore = secret && WasSealed(SealMark(name));
    const OpenedKey key = RegKey::OpenForReading(root, kRecordsKey, ViewOf(root));
    if (!key) {
        if (!key.NotFound()) return RecordState::Broken;
        return sealedBefore ? RecordState::Vanished : RecordState::Missing;
    }
    const std::optional<RegValue> value = key->TryQuery(name);
    if (!value) return sealedBefore ? RecordState::Vanished : RecordState::Missing;
    if (value->type != REG_BINARY || value->data.size() % sizeof(wchar_t) != 0) return RecordState::Broken;
    const std::wstring text(reinterpret_cast<const wchar_t*>(value->data.data()),
                            value->data.size() / sizeof(wchar_t));
    // The last line is the checksum of everything before it.
    const auto last = text.rfind(L'\n', text.size() >= 2 ? text.size() - 2 : 0);
    if (text.empty() || text.back() != L'\n' || last == std::wstring::npos) return RecordState::Broken;
    std::wstring body = text.substr(0, last + 1);
    const std::wstring sum = text.substr(last + 1, text.size() - last - 2);
    if (sum != std::to_wstring(ChecksumOf(body))) return RecordState::Broken;
    const auto sealAt = body.rfind(L'\n', body.size() >= 2 ? body.size() - 2 : 0);
    const bool sealed = sealAt != std::wstring::npos && body.compare(sealAt + 1, std::wcslen(kSealLine), kSealLine) == 0;
    const std::wstring seal = sealed ? body.substr(sealAt + 1 + std::wcslen(kSealLine),
                                                   body.size() - sealAt - 2 - std::wcslen(kSealLine))
                                     : std::wstring();
    if (sealed) body.resize(sealAt + 1);
    // A seal that could not be made again fits nothing.
    if (secret && (sealed ? seal.empty() || seal != SealOf(*secret, name, body) : sealedBefore))
        return RecordState::Forged;
    std::size_t start = 0;
    bool header = true;
    for (std::size_t end; (end = body.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        const std::wstring line = body.substr(start, end - start);
        if (header) {
            if (line != kHeader) return RecordState::Broken;
            header = false;
            continue;
        }
        lines.push_back(SplitFields(line));
    }
    return header ? RecordState::Broken : RecordState::Read;
}

LONG WriteRecord(HKEY root, const wchar_t* name, const RecordLines& lines) {
    std::wstring text = std::wstring(kHeader) + L"\n";
    for (const std::vector<std::wstring>& fields : lines) {
        for (std::size_t i = 0; i < fields.size(); ++i) text += (i ? L"\t" : L"") + EscapedField(fields[i]);
        text += L"\n";
    }
    std::optional<std::vector<BYTE>> secret = root == HKEY_CURRENT_USER ? SealSecret() : std::nullopt;
    const std::wstring seal = secret ? SealOf(*secret, name, text) : std::wstring();
    if (seal.empty()) secret.reset();  // hashing failed: written unsealed, as without the rights
    if (secret) text += kSealLine + seal + L"\n";
    text += std::to_wstring(ChecksumOf(text)) + L"\n";
    OpenedKey key = RegKey::Create(root, kRecordsKey, ViewOf(root));
    if (!key) return key.Error();
    const auto* bytes = reinterpret_cast<const BYTE*>(text.data());
    try {
        key->WriteBytes(name, REG_BINARY, std::vector<BYTE>(bytes, bytes + text.size() * sizeof(wchar_t)));
    } catch (const Error&) {
        return ERROR_CANTWRITE;
    }
    if (secret && !WasSealed(SealMark(name))) MarkSealed(SealMark(name));  // a write only once
    return ERROR_SUCCESS;
}

void ForgetRecord(HKEY root, const wchar_t* name) {
    OpenedKey key = RegKey::OpenForWriting(root, kRecordsKey, ViewOf(root));
    if (key && key->HasValue(name)) key->DeleteValue(name);
}

std::wstring FieldOf(DWORD type, const std::vector<BYTE>& bytes) {
    std::wstring field = std::to_wstring(type) + L":";
    for (const BYTE b : bytes) {
        field += L"0123456789abcdef"[b >> 4];
        field += L"0123456789abcdef"[b & 0xF];
    }
    return field;
}

bool ParseField(const std::wstring& field, DWORD& type, std::vector<BYTE>& bytes) {
    const auto colon = field.find(L':');
    if (colon == std::wstring::npos || colon == 0 || colon > 10 || (field.size() - colon - 1) % 2 != 0 ||
        field.find_first_not_of(L"0123456789") < colon)
        return false;
    type = static_cast<DWORD>(std::wcstoul(field.c_str(), nullptr, 10));
    bytes.clear();
    const auto digit = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        return -1;
    };
    for (std::size_t i = colon + 1; i + 1 < field.size(); i += 2) {
        const int high = digit(field[i]), low = digit(field[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
    }
    return true;
}

}  // namespace kb
