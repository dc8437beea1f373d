// Push buttons and radio buttons made directly under a test parent: composed styles,
// fonts, the `checked` setting, default-button and key questions, colours, and when
// a radio button raises `click`.
#include "ControlsFixture.h"

#include "app/controls/PushButton.h"
#include "app/controls/RadioButton.h"

#include <memory>
#include <optional>
#include <ostream>

namespace strip_test {
namespace {

using vparse::PushButton;
using vparse::PushButtonSettings;
using vparse::RadioButton;
using vparse::RadioButtonSettings;

PushButtonSettings pushSettings(const wchar_t* caption = L"视频解析") {
    PushButtonSettings settings;
    settings.caption = gbk(caption);
    return settings;
}

RadioButtonSettings radioSettings(const wchar_t* caption = L"地址1") {
    RadioButtonSettings settings;
    settings.caption = gbk(caption);
    return settings;
}

class ButtonsTest : public ::testing::Test {
protected:
    PushButton* makePush(const PushButtonSettings& settings, int childId = 130, DWORD baseStyle = WS_TABSTOP) {
        return parent.own(PushButton::create(
            settings, parent.context(childId, {20 + childId, 40, 80, 24}, &events, 0, baseStyle)));
    }
    RadioButton* makeRadio(const RadioButtonSettings& settings, int childId = 150,
                           DWORD baseStyle = WS_TABSTOP) {
        RadioButton* radio = parent.own(RadioButton::create(
            settings, parent.context(childId, {(childId - 140) * 8, 100, 64, 16}, &events, 0, baseStyle)));
        if (radio) ShowWindow(radio->window(), SW_SHOWNA);
        return radio;
    }

    static DWORD styleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)); }
    static DWORD exStyleOf(HWND window) {
        return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    }
    static bool checked(vparse::Control* radio) {
        return SendMessageW(radio->window(), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    EventLog events;
    TestParent parent;
};

// ---------------------------------------------------------------------------
// Styles and texts

TEST_F(ButtonsTest, PushButtonStyleIsACentredMultiLinePushButton) {
    CreationStyles styles;
    ASSERT_TRUE(styles.hooked());
    PushButton* button = makePush(pushSettings());
    ASSERT_TRUE(button);
    const DWORD composed =
        WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_MULTILINE | BS_CENTER | BS_VCENTER;
    EXPECT_EQ(styles.of(button->window()), std::make_pair(composed, DWORD{0}));
    EXPECT_EQ(styleOf(button->window()), composed);
    EXPECT_EQ(exStyleOf(button->window()), 0u);
    EXPECT_EQ(windowTextOf(button->window()), L"视频解析");
    EXPECT_EQ(GetDlgCtrlID(button->window()), 130);
}

// The radio buttons are made with WS_TABSTOP as the window asks. The platform ties a
// radio button's WS_TABSTOP to its check from then on (BM_SETCHECK sets it for a
// checked one and clears it for an unchecked one), so the made button, unchecked,
// no longer shows it; the window's Tab order does not depend on it.
TEST_F(ButtonsTest, RadioButtonStyleIsALeftAlignedMultiLineAutoRadioWithoutGroup) {
    CreationStyles styles;
    ASSERT_TRUE(styles.hooked());
    RadioButton* enabled = makeRadio(radioSettings(L"地址1"), 150);
    RadioButton* greyed = makeRadio(radioSettings(L"未开发"), 170, WS_TABSTOP | WS_DISABLED);
    ASSERT_TRUE(enabled && greyed);
    const DWORD composed =
        WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP | BS_AUTORADIOBUTTON | BS_MULTILINE | BS_LEFT | BS_VCENTER;
    EXPECT_EQ(styles.of(enabled->window()), std::make_pair(composed, DWORD{0}));
    EXPECT_EQ(styles.of(greyed->window()), std::make_pair(composed | WS_DISABLED, DWORD{0}));
    EXPECT_EQ(styleOf(enabled->window()) & ~WS_TABSTOP, (composed | WS_VISIBLE) & ~WS_TABSTOP);
    EXPECT_EQ(styleOf(greyed->window()) & ~WS_TABSTOP, (composed | WS_VISIBLE | WS_DISABLED) & ~WS_TABSTOP);
    EXPECT_EQ(exStyleOf(enabled->window()), 0u);
    EXPECT_EQ(windowTextOf(enabled->window()), L"地址1");
    EXPECT_EQ(windowTextOf(greyed->window()), L"未开发");
    EXPECT_FALSE(checked(enabled));
    EXPECT_FALSE(IsWindowEnabled(greyed->window()));
}

struct AlignmentCase {
    const char* name;
    std::int32_t horizontal;
    std::int32_t vertical;
    DWORD bits;
};

void PrintTo(const AlignmentCase& c, std::ostream* os) { *os << c.name; }

class ButtonAlignmentTest : public ButtonsTest, public ::testing::WithParamInterface<AlignmentCase> {};

// Both kinds take their alignment bits from the same two settings; the radio's own
// flags add BS_PUSHLIKE, BS_FLAT and BS_LEFTTEXT, a default button BS_DEFPUSHBUTTON.
TEST_P(ButtonAlignmentTest, AlignmentSettingsGiveTheirBits) {
    const AlignmentCase& c = GetParam();
    const DWORD mask = BS_LEFT | BS_RIGHT | BS_TOP | BS_BOTTOM;  // BS_CENTER and BS_VCENTER included
    PushButtonSettings push = pushSettings();
    push.horizontalAlignment = c.horizontal;
    push.verticalAlignment = c.vertical;
    RadioButtonSettings radio = radioSettings();
    radio.horizontalAlignment = c.horizontal;
    radio.verticalAlignment = c.vertical;
    PushButton* button = makePush(push);
    RadioButton* option = makeRadio(radio);
    ASSERT_TRUE(button && option);
    EXPECT_EQ(styleOf(button->window()) & mask, c.bits);
    EXPECT_EQ(styleOf(option->window()) & mask, c.bits);
}

INSTANTIATE_TEST_SUITE_P(Alignments, ButtonAlignmentTest,
                         ::testing::Values(AlignmentCase{"left_top", 0, 0, BS_LEFT | BS_TOP},
                                           AlignmentCase{"centre_centre", 1, 1, BS_CENTER | BS_VCENTER},
                                           AlignmentCase{"right_bottom", 2, 2, BS_RIGHT | BS_BOTTOM},
                                           AlignmentCase{"left_centre", 0, 1, BS_LEFT | BS_VCENTER}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ButtonsTest, RadioFlagsAndDefaultButtonTypeAddTheirBits) {
    RadioButtonSettings radio = radioSettings();
    radio.pushLike = true;
    radio.flat = true;
    radio.textOnLeft = true;
    RadioButton* option = makeRadio(radio);
    PushButtonSettings push = pushSettings();
    push.buttonType = 1;
    PushButton* button = makePush(push);
    ASSERT_TRUE(option && button);
    const DWORD flags = BS_PUSHLIKE | BS_FLAT | BS_LEFTTEXT;
    EXPECT_EQ(styleOf(option->window()) & flags, flags);
    EXPECT_EQ(styleOf(option->window()) & BS_TYPEMASK, static_cast<DWORD>(BS_AUTORADIOBUTTON));
    EXPECT_EQ(styleOf(button->window()) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON));
}

// ---------------------------------------------------------------------------
// Fonts

struct FontCase {
    const char* name;
    bool radio;
    bool withRecord;
};

void PrintTo(const FontCase& c, std::ostream* os) { *os << c.name; }

class ButtonFontTest : public ButtonsTest, public ::testing::WithParamInterface<FontCase> {};

// A record is made with the platform's defaults for character set, precisions and
// pitch and with proof quality, its face name and weight kept; no record gives the
// stock default GUI font, which is what the strip's buttons show.
TEST_P(ButtonFontTest, FontRuleAppliesToEveryButtonKind) {
    const FontCase& c = GetParam();
    LOGFONTA record = hintFontRecord();
    record.lfItalic = 1;
    lstrcpyA(record.lfFaceName, "Tahoma");
    vparse::Control* control = nullptr;
    if (c.radio) {
        RadioButtonSettings settings = radioSettings();
        if (c.withRecord) settings.font = record;
        control = makeRadio(settings);
    } else {
        PushButtonSettings settings = pushSettings();
        if (c.withRecord) settings.font = record;
        control = makePush(settings);
    }
    ASSERT_TRUE(control);
    const HFONT font = fontOf(control->window());
    if (!c.withRecord) {
        EXPECT_EQ(font, GetStockObject(DEFAULT_GUI_FONT));
        return;
    }
    ASSERT_NE(font, GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW made{};
    ASSERT_EQ(GetObjectW(font, sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(made.lfHeight, -21);
    EXPECT_EQ(made.lfWeight, FW_BOLD);
    EXPECT_EQ(made.lfItalic, 1);
    EXPECT_EQ(made.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(made.lfQuality, PROOF_QUALITY);
    EXPECT_EQ(made.lfPitchAndFamily, DEFAULT_PITCH);
    EXPECT_STREQ(made.lfFaceName, L"Tahoma");
}

INSTANTIATE_TEST_SUITE_P(Fonts, ButtonFontTest,
                         ::testing::Values(FontCase{"push_default", false, false},
                                           FontCase{"push_record", false, true},
                                           FontCase{"radio_default", true, false},
                                           FontCase{"radio_record", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Push button: clicks, default button, keys, colours

TEST_F(ButtonsTest, PushButtonRaisesOneClickPerPlatformClick) {
    PushButton* button = makePush(pushSettings());
    ASSERT_TRUE(button);
    SendMessageW(button->window(), BM_CLICK, 0, 0);
    SendMessageW(button->window(), BM_CLICK, 0, 0);
    pumpFor(Millis{20});
    EXPECT_EQ(events.count(static_cast<std::uint32_t>(130), PushButton::click), 2);
}

struct DefaultCase {
    const char* name;
    std::int32_t buttonType;
    int styleSetLater;  // -1: leave the style alone
    bool isDefault;
};

void PrintTo(const DefaultCase& c, std::ostream* os) { *os << c.name; }

class PushButtonDefaultTest : public ButtonsTest, public ::testing::WithParamInterface<DefaultCase> {};

// A push button is a default button when its platform style says so at the moment
// it is asked, whatever it was made as.
TEST_P(PushButtonDefaultTest, IsDefaultButtonFollowsThePlatformStyle) {
    const DefaultCase& c = GetParam();
    PushButtonSettings settings = pushSettings();
    settings.buttonType = c.buttonType;
    PushButton* button = makePush(settings);
    ASSERT_TRUE(button);
    if (c.styleSetLater >= 0) SendMessageW(button->window(), BM_SETSTYLE, c.styleSetLater, FALSE);
    EXPECT_EQ(button->isDefaultButton(), c.isDefault);
    for (UINT key : {VK_RETURN, VK_SPACE, VK_TAB, VK_ESCAPE, VK_LEFT}) {
        EXPECT_FALSE(button->claimsKey(key)) << "key " << key;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, PushButtonDefaultTest,
    ::testing::Values(DefaultCase{"ordinary", 0, -1, false}, DefaultCase{"default", 1, -1, true},
                      DefaultCase{"ordinary_made_default", 0, BS_DEFPUSHBUTTON, true},
                      DefaultCase{"default_made_ordinary", 1, BS_PUSHBUTTON, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ButtonsTest, PushButtonHasNoColoursOfItsOwn) {
    PushButton* button = makePush(pushSettings());
    ASSERT_TRUE(button);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(button->answerColour(dc), nullptr);
    DeleteDC(dc);
}

// ---------------------------------------------------------------------------
// Radio button: `checked`

struct CheckedCase {
    const char* name;
    bool createdChecked;
    std::optional<std::int32_t> written;   // a write of `checked`, if any
    std::optional<WPARAM> platformLater;   // BM_SETCHECK from outside afterwards, if any
    bool platformChecked;
};

void PrintTo(const CheckedCase& c, std::ostream* os) { *os << c.name; }

class RadioCheckedTest : public ButtonsTest, public ::testing::WithParamInterface<CheckedCase> {};

// Writes set the platform's check (1 checks, anything else unchecks); reads ask the
// platform, so a change made by the user or by another button is seen.
TEST_P(RadioCheckedTest, WriteSetsAndReadAsksThePlatform) {
    const CheckedCase& c = GetParam();
    RadioButtonSettings settings = radioSettings();
    settings.checked = c.createdChecked;
    RadioButton* radio = makeRadio(settings);
    ASSERT_TRUE(radio);
    EXPECT_EQ(checked(radio), c.createdChecked) << "check at creation";
    if (c.written) radio->writeSetting(RadioButton::checked, vparse::Value(*c.written));
    if (c.platformLater) SendMessageW(radio->window(), BM_SETCHECK, *c.platformLater, 0);
    EXPECT_EQ(checked(radio), c.platformChecked);
    const auto read = radio->readSetting(RadioButton::checked);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::get<std::int32_t>(*read), c.platformChecked ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RadioCheckedTest,
    ::testing::Values(CheckedCase{"made_unchecked", false, {}, {}, false},
                      CheckedCase{"made_checked", true, {}, {}, true},
                      CheckedCase{"write_1", false, 1, {}, true},
                      CheckedCase{"write_0", true, 0, {}, false},
                      CheckedCase{"write_2_unchecks", true, 2, {}, false},
                      CheckedCase{"write_minus_1_unchecks", true, -1, {}, false},
                      CheckedCase{"platform_checks_later", false, {}, BST_CHECKED, true},
                      CheckedCase{"platform_unchecks_after_write", false, 1, BST_UNCHECKED, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ButtonsTest, RadioButtonsOfOneParentExcludeEachOtherButDisabledOnesStayUnchecked) {
    RadioButton* first = makeRadio(radioSettings(L"地址1"), 150);
    RadioButton* second = makeRadio(radioSettings(L"地址2"), 160);
    RadioButton* greyed = makeRadio(radioSettings(L"未开发"), 170, WS_TABSTOP | WS_DISABLED);
    ASSERT_TRUE(first && second && greyed);
    SendMessageW(second->window(), BM_CLICK, 0, 0);
    EXPECT_TRUE(checked(second));
    EXPECT_FALSE(checked(first));
    SendMessageW(first->window(), BM_CLICK, 0, 0);
    EXPECT_TRUE(checked(first));
    EXPECT_FALSE(checked(second));
    SendMessageW(first->window(), BM_CLICK, 0, 0);
    EXPECT_TRUE(checked(first)) << "clicking the checked one keeps it checked";
    EXPECT_FALSE(checked(greyed));
}

// ---------------------------------------------------------------------------
// Radio button: colours and keys

struct RadioColourCase {
    const char* name;
    std::int32_t textColour;
    std::int32_t backgroundColour;
    COLORREF textExpected;
    COLORREF backgroundExpected;
};

void PrintTo(const RadioColourCase& c, std::ostream* os) { *os << c.name; }

class RadioColourTest : public ButtonsTest, public ::testing::WithParamInterface<RadioColourCase> {};

TEST_P(RadioColourTest, AnswersItsColoursAndItsOwnBrushThroughTheParent) {
    const RadioColourCase& c = GetParam();
    RadioButtonSettings settings = radioSettings();
    settings.textColour = c.textColour;
    settings.backgroundColour = c.backgroundColour;
    RadioButton* radio = makeRadio(settings);
    RadioButton* other = makeRadio(radioSettings(L"地址2"), 160);
    ASSERT_TRUE(radio && other);
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    const auto answered = reinterpret_cast<HBRUSH>(SendMessageW(
        parent.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(radio->window())));
    EXPECT_EQ(GetTextColor(dc), c.textExpected);
    EXPECT_EQ(GetBkColor(dc), c.backgroundExpected);
    ASSERT_NE(answered, nullptr);
    LOGBRUSH brush{};
    ASSERT_EQ(GetObjectW(answered, sizeof brush, &brush), static_cast<int>(sizeof brush));
    EXPECT_EQ(brush.lbColor, c.backgroundExpected);
    EXPECT_EQ(radio->answerColour(dc), answered) << "the same brush every time";
    EXPECT_NE(other->answerColour(dc), answered) << "each radio button owns its brush";
    DeleteDC(dc);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, RadioColourTest,
    ::testing::Values(RadioColourCase{"black_on_button_face", 0, vparse::buttonFaceColour, RGB(0, 0, 0),
                                      GetSysColor(COLOR_BTNFACE)},
                      RadioColourCase{"blue_on_yellow", 0x00FF0000, 0x0000FFFF, RGB(0, 0, 255),
                                      RGB(255, 255, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ButtonsTest, RadioButtonClaimsNoKeyAndIsNoDefaultButton) {
    RadioButton* radio = makeRadio(radioSettings());
    ASSERT_TRUE(radio);
    for (UINT key : {VK_RETURN, VK_SPACE, VK_TAB, VK_ESCAPE, VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN}) {
        EXPECT_FALSE(radio->claimsKey(key)) << "key " << key;
    }
    EXPECT_FALSE(radio->isDefaultButton());
    EXPECT_TRUE(radio->isRadioButton());
}

// ---------------------------------------------------------------------------
// Radio button: when `click` is raised

// Windows' own radio buttons report a click (BN_CLICKED) to their parent when an
// unchecked one gains the focus; Wine's do not. This test class, registered for this
// module under the name "BUTTON", takes precedence over the system class for windows
// that the module creates, and reports a click to the parent while the button gains
// and while it loses the focus, so the tests below see the platform's focus clicks
// whatever the platform underneath does.
class FocusClickingButtons {
public:
    FocusClickingButtons() {
        WNDCLASSEXW system{};
        system.cbSize = sizeof system;
        GetClassInfoExW(nullptr, L"BUTTON", &system);
        systemProc_ = system.lpfnWndProc;
        WNDCLASSEXW local = system;
        local.style &= ~static_cast<UINT>(CS_GLOBALCLASS);
        local.lpfnWndProc = proc;
        local.hInstance = GetModuleHandleW(nullptr);
        local.lpszClassName = L"BUTTON";
        atom_ = RegisterClassExW(&local);
    }
    // Every window of the class must be gone first.
    bool unregister() {
        if (!atom_) return true;
        const bool done = UnregisterClassW(L"BUTTON", GetModuleHandleW(nullptr)) != FALSE;
        if (done) atom_ = 0;
        return done;
    }
    ~FocusClickingButtons() { unregister(); }
    FocusClickingButtons(const FocusClickingButtons&) = delete;
    FocusClickingButtons& operator=(const FocusClickingButtons&) = delete;

    ATOM atom() const { return atom_; }
    static int focusClicksReported() { return reported_; }

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
            ++reported_;
            SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                         reinterpret_cast<LPARAM>(window));
        }
        return CallWindowProcW(systemProc_, window, message, wParam, lParam);
    }

    static inline WNDPROC systemProc_ = nullptr;
    static inline int reported_ = 0;
    ATOM atom_ = 0;
};

class RadioClickTest : public ButtonsTest {
protected:
    void SetUp() override {
        ASSERT_NE(buttons_.atom(), 0) << "the focus-clicking BUTTON class could not be registered";
        first = makeRadio(radioSettings(L"地址1"), 150);
        second = makeRadio(radioSettings(L"地址2"), 160);
        edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 300, 200, 100, 20, parent.window(),
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_TRUE(first && second && edit);
        ASSERT_EQ(GetClassLongPtrW(first->window(), GCW_ATOM), buttons_.atom()) << "made from the test's class";
        SetFocus(edit);
        pumpFor(Millis{10});
        events.events.clear();
        parent.clearNotifications();
    }

    void TearDown() override {
        parent.destroy(first);
        parent.destroy(second);
        if (edit) DestroyWindow(edit);
        // Later tests must get the platform's own buttons again.
        EXPECT_TRUE(buttons_.unregister());
    }

    int clicks(vparse::Control* radio) const {
        return events.count(static_cast<std::uint32_t>(GetDlgCtrlID(radio->window())), RadioButton::click);
    }

    // A left click in the middle of the button, as the mouse delivers it.
    static void mouseClick(HWND window) {
        RECT r{};
        GetClientRect(window, &r);
        const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(window, WM_LBUTTONUP, 0, at);
    }

    FocusClickingButtons buttons_;  // before the controls: they are made from it
    RadioButton* first = nullptr;
    RadioButton* second = nullptr;
    HWND edit = nullptr;
};

TEST_F(RadioClickTest, GainingOrLosingTheFocusRaisesNoClick) {
    const int before = FocusClickingButtons::focusClicksReported();
    SetFocus(first->window());
    SetFocus(second->window());
    SetFocus(edit);
    pumpFor(Millis{10});
    EXPECT_EQ(FocusClickingButtons::focusClicksReported() - before, 4) << "the platform reported focus clicks";
    EXPECT_EQ(parent.notifications(BN_CLICKED), 4);
    EXPECT_EQ(clicks(first), 0);
    EXPECT_EQ(clicks(second), 0);
}

// A mouse click on an unfocused radio button moves the focus to it (one platform
// click while gaining the focus) and then clicks it: one `click`, and it is checked.
TEST_F(RadioClickTest, OneMouseClickRaisesOneClick) {
    mouseClick(second->window());
    pumpFor(Millis{10});
    EXPECT_EQ(GetFocus(), second->window());
    EXPECT_TRUE(checked(second));
    EXPECT_EQ(clicks(second), 1);
    EXPECT_EQ(clicks(first), 0);

    mouseClick(first->window());
    pumpFor(Millis{10});
    EXPECT_TRUE(checked(first));
    EXPECT_FALSE(checked(second));
    EXPECT_EQ(clicks(first), 1);
    EXPECT_EQ(clicks(second), 1) << "losing the focus raised no click";

    mouseClick(first->window());  // already focused and checked
    pumpFor(Millis{10});
    EXPECT_TRUE(checked(first));
    EXPECT_EQ(clicks(first), 2);
}

TEST_F(RadioClickTest, ClicksAfterAFocusChangeAreRaisedAgain) {
    SetFocus(first->window());
    SendMessageW(first->window(), BM_CLICK, 0, 0);
    SendMessageW(first->window(), BM_CLICK, 0, 0);
    pumpFor(Millis{10});
    EXPECT_EQ(clicks(first), 2);
    EXPECT_EQ(events.events.size(), 2u);
    for (const RaisedEvent& e : events.events) EXPECT_EQ(e.windowNumber, TestParent::windowNumber);
}

}  // namespace
}  // namespace strip_test
