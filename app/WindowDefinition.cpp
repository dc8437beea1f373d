#include "app/WindowDefinition.h"

#include "app/FrameTexts.h"
#include "commands/Handlers.h"

namespace vparse {

namespace {

// The hint line's font: bold, 21 pixels, no face name (the font mapper chooses).
LOGFONTA hintFont() {
    LOGFONTA font{};
    font.lfHeight = -21;
    font.lfWeight = 700;
    font.lfCharSet = 134;  // GB2312; replaced by DEFAULT_CHARSET when the font is made
    return font;
}

EditBoxSettings hintLine() {
    EditBoxSettings settings;
    settings.content = texts::firstHintText;
    settings.border = 1;
    settings.textColour = 0x000000FF;        // red
    settings.backgroundColour = 0x0000FF00;  // green
    settings.font = hintFont();
    return settings;
}

PushButtonSettings button(const char* caption) {
    PushButtonSettings settings;
    settings.caption = caption;
    return settings;
}

RadioButtonSettings radio(const char* caption) {
    RadioButtonSettings settings;
    settings.caption = caption;
    return settings;
}

WindowDefinition makeMainWindowDefinition() {
    using namespace controls;
    WindowDefinition window{};
    window.number = mainWindowNumber;
    window.left = 50;
    window.top = 50;
    window.width = 1401;
    window.height = 746;
    window.title = texts::windowTitle;
    window.borderStyle = 2;
    window.controlBox = true;
    window.maximiseBox = false;
    window.minimiseBox = true;
    window.startPosition = 1;
    window.enterMovesFocus = false;
    window.escCloses = true;
    window.f1OpensHelp = false;
    window.showInTaskbar = true;

    //                 name            number     left  top  width height visible disabled tab order settings
    window.controls = {
        {L"超文本浏览框1", 超文本浏览框1, 0,    0,   1408, 688, true, false, true, 0, BrowserBoxSettings{}},
        {L"按钮1",         按钮1,         1310, 691, 80,   24,  true, false, true, 0, button(texts::weatherCaption)},
        {L"按钮2",         按钮2,         1224, 691, 80,   24,  true, false, true, 0, button(texts::mapCaption)},
        {L"按钮3",         按钮3,         1138, 691, 80,   24,  true, false, true, 0, button(texts::parseCaption)},
        {L"编辑框1",       编辑框1,       4,    689, 736,  24,  true, false, true, 0, hintLine()},
        {L"单选框1",       单选框1,       752,  696, 64,   16,  true, false, true, 0, radio(texts::address1Caption)},
        {L"单选框2",       单选框2,       824,  696, 64,   16,  true, false, true, 0, radio(texts::address2Caption)},
        {L"单选框3",       单选框3,       904,  696, 64,   16,  true, true,  true, 0, radio(texts::undevelopedCaption)},
        {L"单选框4",       单选框4,       984,  696, 64,   16,  true, true,  true, 0, radio(texts::undevelopedCaption)},
        {L"单选框5",       单选框5,       1056, 696, 64,   16,  true, true,  true, 0, radio(texts::undevelopedCaption)},
        {L"时钟1",         时钟1,         1248, 552, 16,   16,  false, false, false, 0, TimerSettings{1000}},
    };

    window.bindings = {
        {按钮1, PushButton::click, onWeatherClicked},
        {按钮2, PushButton::click, onMapClicked},
        {按钮3, PushButton::click, onParseClicked},
        {时钟1, Timer::periodic, onHintTimer},
    };
    return window;
}

}  // namespace

const WindowDefinition& mainWindowDefinition() {
    static const WindowDefinition definition = makeMainWindowDefinition();
    return definition;
}

}  // namespace vparse
