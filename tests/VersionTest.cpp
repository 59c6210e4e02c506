// The version is written in one place, CMake's project version: the window's
// caption, the version resource and the manifest all say it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/MainWindow.h"
#include "keepboot_version.h"

namespace kb::test {
namespace {

TEST(Version, CaptionResourceAndManifestSayTheProjectVersion) {
    const std::string version = KEEPBOOT_VERSION_TEXT;
    const std::string majorMinor = version.substr(0, version.rfind('.'));
    EXPECT_EQ(std::wstring(MainWindow::kCaption),
              L"Keepboot " + std::wstring(majorMinor.begin(), majorMinor.end()) + L" - Freeware");

    const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
    const std::string manifest(bytes, ::SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("name=\"Keepboot\" version=\"" + version + ".0\""), std::string::npos);

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD ignored = 0;
    std::string info(::GetFileVersionInfoSizeW(self, &ignored), '\0');
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(::GetFileVersionInfoW(self, 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
                  "." + std::to_string(HIWORD(fixed->dwFileVersionLS)),
              version);
}

}  // namespace
}  // namespace kb::test
