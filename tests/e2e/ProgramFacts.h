// What the end-to-end tests know of the program from outside: the child ids of its
// main window, the request lines its four pages produce at the loopback proxy
// (built with the default page hosts) and the hint line's font.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace e2e {

// Child window ids of the main window.
constexpr int kBrowserId = 100;
constexpr int kWeatherId = 110;
constexpr int kMapId = 120;
constexpr int kParseId = 130;
constexpr int kHintId = 140;
constexpr int kAddress1Id = 150;
constexpr int kAddress2Id = 160;
constexpr int kGreyedIds[] = {170, 180, 190};
constexpr int kRadioIds[] = {kAddress1Id, kAddress2Id, 170, 180, 190};
constexpr int kButtonIds[] = {kWeatherId, kMapId, kParseId};
constexpr int kTimerId = 200;

// Request lines the proxy sees for each page. The map's address starts with a blank,
// which Wine's component reads as a host named " http".
inline const std::string kWeatherRequest = "GET http://www.nmc.cn:80/ HTTP/1.1";
inline const std::string kMapRequest = "GET http://%20http:80//map.baidu.com/ HTTP/1.1";
inline const std::string kAddress1Request = "GET http://www.example.com:80/ HTTP/1.1";
inline const std::string kAddress2Request = "GET http://www.example.net:80/vip/ HTTP/1.1";

// Height of `text` in the hint line's font (bold, 21 pixels, any face), measured here
// on the screen with the same fonts the program gets.
inline int hintFontTextHeight(const wchar_t* text) {
  LOGFONTW lf{};
  lf.lfHeight = -21;
  lf.lfWeight = FW_BOLD;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = PROOF_QUALITY;
  HFONT font = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  return size.cy;
}

// The hint line's height: its 24 pixels, or one line of "吴" in its font plus the
// sunken edge above and below when that is more.
inline int hintLineHeight() {
  return std::max(24, hintFontTextHeight(L"吴") + 2 * GetSystemMetrics(SM_CYEDGE));
}

}  // namespace e2e
