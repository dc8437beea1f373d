// The edit box kind, made directly under a test parent: the one-line face (height,
// centred text line, green margins, hit test), the font rule, the composed styles,
// writes and reads of `content`, its colours and the keys it claims.
#include "ControlsFixture.h"

#include "app/controls/EditBox.h"

#include <memory>
#include <ostream>

namespace strip_test {
namespace {

using vparse::EditBox;
using vparse::EditBoxSettings;

constexpr std::int32_t red = 0x000000FF;
constexpr std::int32_t green = 0x0000FF00;

EditBoxSettings hintSettings() {
    EditBoxSettings settings;
    settings.content = gbk(L"  点击“地址”点击“视频解析”在屏幕中的编辑框输入先看的视频地址");
    settings.border = 1;
    settings.textColour = red;
    settings.backgroundColour = green;
    settings.font = hintFontRecord();
    return settings;
}

class EditBoxTest : public ::testing::Test {
protected:
    EditBox* make(const EditBoxSettings& settings, RECT place = {4, 200, 736, 24}) {
        return parent.own(EditBox::create(settings, parent.context(140, place, &events, 369164300)));
    }

    // The box's outer rectangle in the parent's client coordinates.
    RECT placeOf(HWND box) const {
        RECT r{};
        GetWindowRect(box, &r);
        MapWindowPoints(nullptr, parent.window(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    EventLog events;
    TestParent parent;
};

// ---------------------------------------------------------------------------
// Face of a one-line box

struct FaceCase {
    const char* name;
    int definedHeight;
    std::int32_t border;
    bool withFontRecord;
};

void PrintTo(const FaceCase& c, std::ostream* os) { *os << c.name; }

class EditBoxFaceTest : public EditBoxTest, public ::testing::WithParamInterface<FaceCase> {};

// The window is raised to one line of "吴" plus the sunken edge above and below when
// it is lower, keeping its place and width; the client area is exactly one line of
// "W" high and sits in the middle of the space inside the frame, the odd pixel
// going below (the halved difference truncates).
TEST_P(EditBoxFaceTest, ClientAreaIsOneCentredLineAndLowBoxesAreRaised) {
    const FaceCase& c = GetParam();
    EditBoxSettings settings = hintSettings();
    settings.border = c.border;
    if (!c.withFontRecord) settings.font.reset();
    auto box = make(settings, {4, 200, 736, c.definedHeight});
    ASSERT_TRUE(box);
    const HWND window = box->window();
    const HFONT font = fontOf(window);
    ASSERT_NE(font, nullptr);

    const int leastHeight = glyphHeight(font, L"吴") + 2 * GetSystemMetrics(SM_CYEDGE);
    const int expectedHeight = std::max(c.definedHeight, leastHeight);
    const RECT place = placeOf(window);
    EXPECT_EQ(place.left, 4);
    EXPECT_EQ(place.top, 200);
    EXPECT_EQ(place.right - place.left, 736);
    EXPECT_EQ(place.bottom - place.top, expectedHeight);

    // The frame that the platform computes for the final styles.
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const int frameTop = -frame.top;
    const int inside = expectedHeight - frameTop - frame.bottom;
    const int line = glyphHeight(font, L"W");

    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(client.bottom, line) << "client height";
    EXPECT_EQ(origin.y - outer.top, frameTop + (inside - line) / 2) << "client top inside the window";
    EXPECT_EQ(origin.x - outer.left, -frame.left) << "left edge stays the platform's";
    EXPECT_EQ(client.right, 736 + frame.left - frame.right) << "width stays the platform's";
}

INSTANTIATE_TEST_SUITE_P(
    Heights, EditBoxFaceTest,
    ::testing::Values(FaceCase{"hint_24_raised", 24, 1, true}, FaceCase{"tiny_8_raised", 8, 1, true},
                      FaceCase{"tall_40", 40, 1, true}, FaceCase{"tall_41", 41, 1, true},
                      FaceCase{"no_border_37", 37, 0, true}, FaceCase{"line_border_36", 36, 5, true},
                      FaceCase{"default_font_24", 24, 1, false},
                      FaceCase{"default_font_31", 31, 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The line height follows the box's current font, not the one it was made with.
TEST_F(EditBoxTest, ClientAreaFollowsAFontSetLater) {
    auto box = make(hintSettings(), {4, 200, 736, 60});
    ASSERT_TRUE(box);
    const HWND window = box->window();
    const auto other = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(other), FALSE);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.bottom, glyphHeight(other, L"W"));
}

// A multi-line box keeps the platform's frame: neither raised nor narrowed.
TEST_F(EditBoxTest, MultiLineBoxKeepsThePlatformFrame) {
    EditBoxSettings settings = hintSettings();
    settings.multiLine = true;
    auto box = make(settings, {4, 200, 300, 10});
    ASSERT_TRUE(box);
    const HWND window = box->window();
    EXPECT_EQ(placeOf(window).bottom - placeOf(window).top, 10);

    auto tall = make(settings, {4, 250, 300, 90});
    ASSERT_TRUE(tall);
    RECT client{};
    GetClientRect(tall->window(), &client);
    const int edge = GetSystemMetrics(SM_CYEDGE);
    EXPECT_EQ(client.bottom, 90 - 2 * edge);
}

// Outside the client area the box answers HTBORDER, so a click in the green margin
// does not reach the text; inside, the platform decides.
TEST_F(EditBoxTest, MarginsHitTestAsBorder) {
    auto box = make(hintSettings(), {4, 200, 736, 50});
    ASSERT_TRUE(box);
    const HWND window = box->window();
    RECT client{};
    GetClientRect(window, &client);
    POINT inside{client.right / 2, client.bottom / 2};
    ClientToScreen(window, &inside);
    POINT above{client.right / 2, -3};  // inside the sunken edge, above the line
    ClientToScreen(window, &above);
    POINT below{client.right / 2, client.bottom + 3};
    ClientToScreen(window, &below);
    EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(inside.x, inside.y)), HTCLIENT);
    EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(above.x, above.y)), HTBORDER);
    EXPECT_EQ(SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(below.x, below.y)), HTBORDER);
}

// What the box paints: the margins between the sunken edge and the text line in the
// background colour, the free end of the line too, and the characters in the text
// colour. Read back from the box's own window surface.
TEST_F(EditBoxTest, PaintsMarginsInBackgroundColourAndTextInTextColour) {
    auto box = make(hintSettings(), {4, 200, 736, 44});
    ASSERT_TRUE(box);
    const HWND window = box->window();
    ShowWindow(window, SW_SHOWNA);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
    pumpFor(Millis{100});

    RECT outer{};
    GetWindowRect(window, &outer);
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const int clientTop = origin.y - outer.top;     // in window coordinates
    const int clientLeft = origin.x - outer.left;
    const int edge = GetSystemMetrics(SM_CYEDGE);
    ASSERT_GT(clientTop, edge + 2) << "a 44-pixel box leaves a margin above its line";

    HDC dc = GetWindowDC(window);
    ASSERT_NE(dc, nullptr);
    const COLORREF greenPixel = RGB(0, 255, 0);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int wrong = 0;
    std::string firstWrong;
    auto expectGreen = [&](int x, int y) {
        const COLORREF pixel = GetPixel(dc, x, y);
        if (pixel != greenPixel) {
            if (!wrong++) firstWrong = std::to_string(x) + "," + std::to_string(y) + " is " + std::to_string(pixel);
        }
    };
    for (int x = edge; x < width - edge; x += 7) {
        for (int y = edge; y < clientTop; ++y) expectGreen(x, y);                          // above
        for (int y = clientTop + client.bottom; y < height - edge; ++y) expectGreen(x, y);  // below
    }
    // The line's free end: the hint is far shorter than 736 pixels.
    for (int y = clientTop; y < clientTop + client.bottom; ++y) {
        expectGreen(clientLeft + client.right - 3, y);
    }
    EXPECT_EQ(wrong, 0) << "pixels not green, first at " << firstWrong;

    int redPixels = 0;
    for (int y = clientTop; y < clientTop + client.bottom; ++y) {
        for (int x = clientLeft; x < clientLeft + client.right / 2; ++x) {
            if (GetPixel(dc, x, y) == RGB(255, 0, 0)) ++redPixels;
        }
    }
    ReleaseDC(window, dc);
    EXPECT_GT(redPixels, 50) << "the characters are drawn in red";
}

// ---------------------------------------------------------------------------
// Font rule

TEST_F(EditBoxTest, FontRecordIsMadeBoldWithPlatformDefaultsAndNoFace) {
    LOGFONTA record = hintFontRecord();
    record.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    record.lfClipPrecision = CLIP_STROKE_PRECIS;
    record.lfQuality = NONANTIALIASED_QUALITY;
    record.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    EditBoxSettings settings = hintSettings();
    settings.font = record;
    auto box = make(settings);
    ASSERT_TRUE(box);
    const HFONT font = fontOf(box->window());
    ASSERT_NE(font, GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW made{};
    ASSERT_EQ(GetObjectW(font, sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(made.lfHeight, -21);
    EXPECT_EQ(made.lfWeight, FW_BOLD);
    EXPECT_EQ(made.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(made.lfOutPrecision, OUT_DEFAULT_PRECIS);
    EXPECT_EQ(made.lfClipPrecision, CLIP_DEFAULT_PRECIS);
    EXPECT_EQ(made.lfQuality, PROOF_QUALITY);
    EXPECT_EQ(made.lfPitchAndFamily, DEFAULT_PITCH);
    EXPECT_EQ(made.lfItalic, 0);
    EXPECT_STREQ(made.lfFaceName, L"");
}

TEST_F(EditBoxTest, WithoutFontRecordUsesTheStockDefaultGuiFont) {
    EditBoxSettings settings = hintSettings();
    settings.font.reset();
    auto box = make(settings);
    ASSERT_TRUE(box);
    EXPECT_EQ(fontOf(box->window()), GetStockObject(DEFAULT_GUI_FONT));
}

// ---------------------------------------------------------------------------
// Styles

struct StyleCase {
    const char* name;
    EditBoxSettings settings;
    DWORD baseStyle;
    DWORD style;    // without WS_VISIBLE, which the window adds later
    DWORD exStyle;
};

void PrintTo(const StyleCase& c, std::ostream* os) { *os << c.name; }

EditBoxSettings with(std::function<void(EditBoxSettings&)> change) {
    EditBoxSettings settings = hintSettings();
    change(settings);
    return settings;
}

class EditBoxStyleTest : public EditBoxTest, public ::testing::WithParamInterface<StyleCase> {};

TEST_P(EditBoxStyleTest, ComposedStyleIsExact) {
    const StyleCase& c = GetParam();
    auto box = EditBox::create(c.settings, parent.context(140, {4, 200, 300, 30}, &events, 1, c.baseStyle));
    ASSERT_TRUE(box);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(box->window(), GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(box->window(), GWL_EXSTYLE));
    EXPECT_EQ(style, c.style) << std::hex << "style 0x" << style << ", expected 0x" << c.style;
    EXPECT_EQ(exStyle, c.exStyle) << std::hex << "extended style 0x" << exStyle;
    EXPECT_EQ(style & WS_GROUP, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, EditBoxStyleTest,
    ::testing::Values(
        StyleCase{"hint_line", hintSettings(), WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
        StyleCase{"disabled_no_tabstop", hintSettings(), WS_DISABLED,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_DISABLED | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
        StyleCase{"no_border", with([](auto& s) { s.border = 0; }), WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL, 0},
        StyleCase{"line_border", with([](auto& s) { s.border = 5; }), WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0},
        StyleCase{"thin_sunken_border", with([](auto& s) { s.border = 3; }), WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_STATICEDGE},
        StyleCase{"multi_line_both_bars", with([](auto& s) {
                      s.multiLine = true;
                      s.scrollBars = 3;
                  }),
                  WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                      ES_WANTRETURN | WS_HSCROLL | WS_VSCROLL | ES_AUTOHSCROLL,
                  WS_EX_CLIENTEDGE},
        StyleCase{"show_selection_centred_read_only", with([](auto& s) {
                      s.hideSelection = false;
                      s.alignment = 1;
                      s.inputMode = 1;
                  }),
                  WS_TABSTOP,
                  WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | ES_AUTOHSCROLL | ES_NOHIDESEL |
                      ES_CENTER | ES_READONLY,
                  WS_EX_CLIENTEDGE}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The `content` setting

struct ContentWriteCase {
    const char* name;
    std::wstring shownBefore;
    vparse::Value written;
    std::wstring shownAfter;
};

void PrintTo(const ContentWriteCase& c, std::ostream* os) { *os << c.name; }

class EditBoxContentWriteTest : public EditBoxTest,
                                public ::testing::WithParamInterface<ContentWriteCase> {};

// Each write replaces the platform's whole text, raises `contentChange` exactly
// once (the platform's own change report for the replacement raises nothing) and
// keeps the same platform window.
TEST_P(EditBoxContentWriteTest, ReplacesTheTextAndRaisesOneChange) {
    const ContentWriteCase& c = GetParam();
    EditBoxSettings settings = hintSettings();
    settings.content = gbk(c.shownBefore);
    auto box = make(settings);
    ASSERT_TRUE(box);
    const HWND window = box->window();
    ASSERT_EQ(windowTextOf(window), c.shownBefore);
    events.events.clear();
    parent.clearNotifications();

    box->writeSetting(EditBox::content, c.written);
    pumpFor(Millis{20});

    EXPECT_EQ(windowTextOf(window), c.shownAfter);
    EXPECT_EQ(events.count(369164300, EditBox::contentChange), 1);
    EXPECT_EQ(box->window(), window) << "the box is not made anew";
    const auto read = box->readSetting(EditBox::content);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::get<vparse::Text>(*read), gbk(c.shownAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, EditBoxContentWriteTest,
    ::testing::Values(
        ContentWriteCase{"new_text", L"abc", vparse::Value(gbk(L"xyz")), L"xyz"},
        ContentWriteCase{"same_text", L"same", vparse::Value(gbk(L"same")), L"same"},
        ContentWriteCase{"second_hint_wording", L"  点击“地址”",
                         vparse::Value(gbk(L" !点击【地址】点击【视频解析】在屏幕中的编辑框输入先看的视频地址!")),
                         L" !点击【地址】点击【视频解析】在屏幕中的编辑框输入先看的视频地址!"},
        ContentWriteCase{"empty_text", L"abc", vparse::Value(vparse::Text{}), L""},
        ContentWriteCase{"missing_text_counts_as_empty", L"abc", vparse::Value(std::int32_t{7}), L""}),
    [](const auto& info) { return std::string(info.param.name); });

// Many writes of the same text: one change each, never more, never fewer.
TEST_F(EditBoxTest, RepeatedWritesOfTheSameTextRaiseOneChangeEach) {
    auto box = make(hintSettings());
    ASSERT_TRUE(box);
    events.events.clear();
    const vparse::Value text(gbk(L"提示"));
    for (int i = 0; i < 5; ++i) box->writeSetting(EditBox::content, text);
    pumpFor(Millis{20});
    EXPECT_EQ(events.count(369164300, EditBox::contentChange), 5);
    for (const RaisedEvent& e : events.events) {
        EXPECT_EQ(e.windowNumber, TestParent::windowNumber);
        EXPECT_EQ(e.controlNumber, 369164300u);
    }
}

// Typing reaches the box's change handling through the parent and is read back.
TEST_F(EditBoxTest, TypedTextIsReadBackAndEachKeystrokeRaisesAChange) {
    EditBoxSettings settings = hintSettings();
    settings.content.clear();
    auto box = make(settings);
    ASSERT_TRUE(box);
    const HWND window = box->window();
    SetFocus(window);
    events.events.clear();
    for (wchar_t ch : std::wstring(L"a视频")) SendMessageW(window, WM_CHAR, ch, 1);
    pumpFor(Millis{20});
    EXPECT_EQ(events.count(369164300, EditBox::contentChange), 3);
    const auto read = box->readSetting(EditBox::content);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::get<vparse::Text>(*read), gbk(L"a视频"));

    // The next write replaces what was typed.
    box->writeSetting(EditBox::content, vparse::Value(gbk(L"提示")));
    EXPECT_EQ(windowTextOf(window), L"提示");
}

// ---------------------------------------------------------------------------
// Colours

struct ColourCase {
    const char* name;
    std::int32_t textColour;
    std::int32_t backgroundColour;
    COLORREF textExpected;
    COLORREF backgroundExpected;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class EditBoxColourTest : public EditBoxTest, public ::testing::WithParamInterface<ColourCase> {};

// The colour question sets the text and text-background colours and is answered
// with the box's own solid brush of the background colour, the same one each time.
TEST_P(EditBoxColourTest, AnswersItsColoursAndItsOwnBrush) {
    const ColourCase& c = GetParam();
    EditBoxSettings settings = hintSettings();
    settings.textColour = c.textColour;
    settings.backgroundColour = c.backgroundColour;
    auto box = make(settings);
    ASSERT_TRUE(box);
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    const auto answered = reinterpret_cast<HBRUSH>(
        SendMessageW(parent.window(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(box->window())));
    EXPECT_EQ(GetTextColor(dc), c.textExpected);
    EXPECT_EQ(GetBkColor(dc), c.backgroundExpected);
    ASSERT_NE(answered, nullptr);
    LOGBRUSH brush{};
    ASSERT_EQ(GetObjectW(answered, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(brush.lbColor, c.backgroundExpected);
    EXPECT_EQ(box->answerColour(dc), answered) << "the same brush every time";
    DeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, EditBoxColourTest,
    ::testing::Values(ColourCase{"red_on_green", red, green, RGB(255, 0, 0), RGB(0, 255, 0)},
                      ColourCase{"black_on_button_face", 0, vparse::buttonFaceColour, RGB(0, 0, 0),
                                 GetSysColor(COLOR_BTNFACE)}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Keys

struct KeyCase {
    const char* name;
    bool multiLine;
    std::int32_t inputMode;
    UINT key;
    bool claimed;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class EditBoxKeyTest : public EditBoxTest, public ::testing::WithParamInterface<KeyCase> {};

// Only a multi-line box that takes input keeps Enter for itself; no box takes the
// other keys that the window handles.
TEST_P(EditBoxKeyTest, ClaimsOnlyEnterWhenMultiLineAndWritable) {
    const KeyCase& c = GetParam();
    EditBoxSettings settings = hintSettings();
    settings.multiLine = c.multiLine;
    settings.inputMode = c.inputMode;
    auto box = make(settings, {4, 200, 300, 60});
    ASSERT_TRUE(box);
    EXPECT_EQ(box->claimsKey(c.key), c.claimed);
    EXPECT_FALSE(box->isDefaultButton());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, EditBoxKeyTest,
    ::testing::Values(KeyCase{"one_line_enter", false, 0, VK_RETURN, false},
                      KeyCase{"one_line_tab", false, 0, VK_TAB, false},
                      KeyCase{"one_line_escape", false, 0, VK_ESCAPE, false},
                      KeyCase{"one_line_f1", false, 0, VK_F1, false},
                      KeyCase{"multi_line_enter", true, 0, VK_RETURN, true},
                      KeyCase{"multi_line_password_enter", true, 2, VK_RETURN, true},
                      KeyCase{"multi_line_read_only_enter", true, 1, VK_RETURN, false},
                      KeyCase{"multi_line_tab", true, 0, VK_TAB, false},
                      KeyCase{"multi_line_escape", true, 0, VK_ESCAPE, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace strip_test
