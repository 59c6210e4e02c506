// No text of the main window's pages or of the prompt is cut off, in the
// program's font and in wider ones that may stand in for it where Tahoma
// is missing.
#include "WindowHarness.h"
#include "app/PromptDialog.h"

namespace kb::test {
namespace {

RECT PlaceOf(HWND control) {
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

class Layout : public WindowTest, public ::testing::WithParamInterface<const wchar_t*> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetUiFontFace(GetParam());
    }
    void TearDown() override {
        SetUiFontFace({});
        WindowTest::TearDown();
    }
};

// The rectangle Windows suggests when a window moves to a monitor of
// another scale: its own, grown by the ratio.
RECT Grown(HWND window, int dpi) {
    RECT place{};
    ::GetWindowRect(window, &place);
    return {place.left, place.top, place.left + ::MulDiv(place.right - place.left, dpi, 96),
            place.top + ::MulDiv(place.bottom - place.top, dpi, 96)};
}

int WidthOf(HWND control) {
    const RECT place = PlaceOf(control);
    return place.right - place.left;
}

// The prompt's client area is its design at the scale: as wide as made,
// and as tall as its buttons and the margin below them.
void ExpectTheFrameHoldsItsClientExactly(HWND prompt, HWND button, int dpi) {
    RECT client{}, below = PlaceOf(button);
    ::GetClientRect(prompt, &client);
    EXPECT_EQ(client.right, ::MulDiv(384, dpi, 96)) << dpi << " dots per inch";
    EXPECT_EQ(client.bottom - below.bottom, ::MulDiv(10, dpi, 96)) << dpi << " dots per inch";
}

void ExpectTheIntervalInOrder(MainWindow& w) {
    const RECT box = PlaceOf(w.Pages().Settings().Controls().intervalBox), edit = PlaceOf(w.Pages().Settings().Controls().intervalEdit),
               unit = PlaceOf(w.Pages().Settings().Controls().intervalLabel);
    EXPECT_LE(box.right, edit.left);
    EXPECT_LE(edit.right, unit.left);
    RECT page{};
    ::GetClientRect(::GetParent(w.Pages().Settings().Controls().intervalLabel), &page);
    EXPECT_LE(unit.right, page.right);
}

// At the screen's scale, and again after the window moved to a monitor of
// one and a half times its DPI: every text shows whole, the interval box
// and its unit follow their check box, and everything grew with the scale.
TEST_P(Layout, NoTextIsCutOffAtEitherScale) {
    MainWindow& w = MakeWindow();
    EXPECT_EQ(CutTexts(w.Handle()), std::vector<std::wstring>{}) << "on all four pages";
    ExpectTheIntervalInOrder(w);

    const HWND list = w.Pages().List().Controls().list;
    // A column the user widened keeps its share at the new scale.
    ListView_SetColumnWidth(list, 1, 200);
    const int listWidth = WidthOf(list), columnWidth = ListView_GetColumnWidth(list, 0);
    RECT suggested = Grown(w.Handle(), 144);
    ::SendMessageW(w.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(CutTexts(w.Handle()), std::vector<std::wstring>{}) << "at 144 dots per inch";
    ExpectTheIntervalInOrder(w);
    EXPECT_NEAR(WidthOf(list), listWidth * 3 / 2, 2);
    EXPECT_NEAR(ListView_GetColumnWidth(list, 0), columnWidth * 3 / 2, 2);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 300) << "the user's width, scaled";
    const int fontHeight = [&] {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)), sizeof font, &font);
        return static_cast<int>(font.lfHeight);
    }();
    EXPECT_EQ(fontHeight, -16) << "8 points at 144 dots per inch";

    PromptDialog prompt;
    prompt.Create();
    const auto ask = [&] {
        ::PostMessageW(prompt.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
        AskAndWait(prompt, L"One new Windows Startup \"Some Vendor's Background Updater Service\", do you want "
                   L"to disbale it?",
                   {L"C:\\Program Files\\Some Vendor\\Updater\\updater.exe", L"--background --quiet",
                    L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce",
                    L"C:\\Program Files\\Some Vendor\\Updater\\old.exe"});
    };
    ask();
    EXPECT_EQ(CutTexts(prompt.Handle()), std::vector<std::wstring>{});
    const int buttonWidth = WidthOf(prompt.DisableButton());
    // Dragged to the other monitor while it asks: laid out and its texts
    // fitted again.
    suggested = Grown(prompt.Handle(), 144);
    ::PostMessageW(prompt.Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ask();
    EXPECT_EQ(CutTexts(prompt.Handle()), std::vector<std::wstring>{}) << "at 144 dots per inch";
    EXPECT_NEAR(WidthOf(prompt.DisableButton()), buttonWidth * 3 / 2, 4) << "fonts do not scale to the pixel";
    ExpectTheFrameHoldsItsClientExactly(prompt.Handle(), prompt.DisableButton(), 144);
    // And at twice the screen's: its caption and borders are that scale's too.
    suggested = Grown(prompt.Handle(), 192);
    ::PostMessageW(prompt.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ask();
    EXPECT_EQ(CutTexts(prompt.Handle()), std::vector<std::wstring>{}) << "at 192 dots per inch";
    ExpectTheFrameHoldsItsClientExactly(prompt.Handle(), prompt.DisableButton(), 192);
}

INSTANTIATE_TEST_SUITE_P(Fonts, Layout, ::testing::Values(L"Tahoma", L"DejaVu Sans", L"Courier New"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& face) {
                             std::string name;
                             for (const wchar_t* c = face.param; *c; ++c)
                                 if (iswalnum(*c)) name += static_cast<char>(*c);
                             return name;
                         });

}  // namespace
}  // namespace kb::test
