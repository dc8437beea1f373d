#include "commands/Handlers.h"

#include "app/MainWindow.h"
#include "app/WindowDefinition.h"
#include "commands/CommandTexts.h"
#include "commands/Emulation.h"

namespace vparse {

namespace {

void showPage(const char* address) {
    writeSetting(mainWindowNumber, controls::超文本浏览框1, BrowserBox::address, Text(address));
}

bool isChecked(std::uint32_t radioButton) {
    const Value value = readSetting(mainWindowNumber, radioButton, RadioButton::checked);
    const auto* number = std::get_if<std::int32_t>(&value);
    return number && *number == 1;
}

}  // namespace

void onWeatherClicked() {
    registerBrowserEmulation();
    showPage(texts::weatherPageAddress);
}

void onMapClicked() {
    registerBrowserEmulation();
    showPage(texts::mapPageAddress);
}

void onParseClicked() {
    // The registration comes first, also when the click ends in the warning.
    registerBrowserEmulation();
    if (isChecked(controls::单选框1)) {
        showPage(texts::parsePage1Address);
        return;
    }
    if (isChecked(controls::单选框2)) {
        showPage(texts::parsePage2Address);
        return;
    }
    // No owner and task-modal: every window of the thread is disabled while the box
    // is open; the timer goes on ticking inside its loop.
    const std::wstring text = toWide(texts::warningText);
    const std::wstring title = toWide(texts::warningTitle);
    MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_TASKMODAL);
}

void onHintTimer() {
    writeSetting(mainWindowNumber, controls::编辑框1, EditBox::content, Text(texts::hintText));
}

}  // namespace vparse
