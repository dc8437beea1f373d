// The handlers bound to the buttons' clicks and the timer's periodic event.
#pragma once

namespace vparse {

void onWeatherClicked();
void onMapClicked();
void onParseClicked();
void onHintTimer();

}  // namespace vparse
