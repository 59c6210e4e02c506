// What newer Windows offers and Windows XP SP3's way of it give the same:
// each XP way is forced here under Wine and set against the newer one.
#include <shlobj.h>

#include "CoreHarness.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/NewerWindows.h"
#include "platform/TextCompare.h"

namespace kb::test {
namespace {

class NewerWindows : public CoreTest {
protected:
    void TearDown() override {
        UseXpWaysForTesting(false);
        CoreTest::TearDown();
    }
    // What the function gives the newer way, then the XP way.
    template <typename Work>
    auto BothWays(Work work) {
        UseXpWaysForTesting(false);
        auto newer = work();
        UseXpWaysForTesting(true);
        auto xp = work();
        UseXpWaysForTesting(false);
        return std::pair{newer, xp};
    }
};

TEST_F(NewerWindows, TheXpWaysGiveWhatTheNewerOnesGive) {
    // Names compared as the registry and the file system compare them.
    const std::pair<std::wstring, std::wstring> names[] = {
        {L"Run", L"RUN"},         {L"\u00e9t\u00e9", L"\u00c9T\u00c9"},   {L"\u03c3", L"\u03a3"},
        {L"stra\u00dfe", L"STRASSE"}, {L"i", L"\u0130"},                  {L"\u0131", L"I"},
        {L"a\u00adb", L"ab"},     {L"\u0434\u043e\u043c", L"\u0414\u041e\u041c"}, {L"x", L"xx"},
        {L"\U0001F600", L"\U0001F600"}, {L"", L""},                       {L"Ab\u0301", L"A\u00e1"}};
    for (const auto& [a, b] : names) {
        SCOPED_TRACE(Narrow(a) + " / " + Narrow(b));
        const auto [newer, xp] = BothWays([&] { return OrdinalEqualIgnoringCase(a, b); });
        EXPECT_EQ(newer, xp);
        const auto [upperNewer, upperXp] = BothWays([&] { return OrdinalUpperCase(a); });
        EXPECT_EQ(upperNewer, upperXp);
    }

    // The same image path of this very process.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const auto [imageNewer, imageXp] = BothWays([] {
        const UniqueHandle process(::OpenProcess(QueryImageRights(), FALSE, ::GetCurrentProcessId()));
        return ImageOfProcess(process.get());
    });
    EXPECT_TRUE(EqualIgnoringCase(imageNewer, self)) << Narrow(imageNewer);
    EXPECT_EQ(imageXp, imageNewer);

    // The same name of a shell item an ID list points at.
    UniqueCoMemory computer;
    ASSERT_TRUE(SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES,
                                                       reinterpret_cast<LPITEMIDLIST*>(computer.put()))));
    const auto [nameNewer, nameXp] = BothWays([&] { return NameOfIdList(computer.get()); });
    EXPECT_FALSE(nameNewer.empty());
    EXPECT_EQ(nameXp, nameNewer);

    // A key deleted either way.
    for (const bool xp : {false, true}) {
        SetStringValue(HKEY_CURRENT_USER, L"Software\\Gone", L"x", L"y");
        UseXpWaysForTesting(xp);
        EXPECT_EQ(DeleteRegistryKey(HKEY_CURRENT_USER, L"Software\\Gone", 0), ERROR_SUCCESS);
        UseXpWaysForTesting(false);
        EXPECT_FALSE(RawKeyExists(HKEY_CURRENT_USER, L"Software\\Gone"));
    }
}

// The same digest, of a known text and of a file of some size. Outside the
// registry's sandbox: the CryptoAPI finds its providers in the machine's
// registry.
TEST(NewerWindowsDigest, TheXpWayGivesTheSameDigest) {
    const auto bothWays = [](const auto& work) {
        UseXpWaysForTesting(false);
        auto newer = work();
        UseXpWaysForTesting(true);
        auto xp = work();
        UseXpWaysForTesting(false);
        return std::pair{newer, xp};
    };
    const ScratchFolder folder;
    const std::wstring file = folder.Path() + L"\\digest.bin";
    WriteFileBytes(file, std::string(200000, 'k') + "abc");
    const auto [newerDigest, xpDigest] = bothWays([&] { return DigestOf(file); });
    EXPECT_EQ(newerDigest.size(), 64u);
    EXPECT_EQ(newerDigest, xpDigest);
    const auto [abcNewer, abcXp] = bothWays([] {
        Sha256 hash;
        hash.Add("abc", 3);
        return hash.Finish();
    });
    EXPECT_EQ(abcNewer, L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(abcXp, abcNewer);
}

}  // namespace
}  // namespace kb::test
