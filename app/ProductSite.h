#pragma once

namespace kb {

// The product's web site, opened by the button below the pages.
inline constexpr wchar_t kProductDomain[] = L"keepboot.example";
inline constexpr wchar_t kProductUrl[] = L"https://keepboot.example/";

}  // namespace kb
