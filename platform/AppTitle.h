#pragma once

namespace kb {

// Names the single-instance lock, the self-start value and every error box.
inline constexpr wchar_t kAppTitle[] = L"Keepboot";

}  // namespace kb
