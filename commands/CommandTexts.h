// Texts of the browsing commands as GBK bytes (code page 936), and the four page
// addresses built from the configured host names.
#pragma once

#include "PageHosts.h"

namespace vparse::texts {

// " !点击【地址】点击【视频解析】在屏幕中的编辑框输入先看的视频地址!" (65 bytes)
inline constexpr char hintText[] = " !\xB5\xE3\xBB\xF7\xA1\xBE\xB5\xD8\xD6\xB7\xA1\xBF\xB5\xE3\xBB\xF7\xA1\xBE\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xA1\xBF\xD4\xDA\xC6\xC1\xC4\xBB\xD6\xD0\xB5\xC4\xB1\xE0\xBC\xAD\xBF\xF2\xCA\xE4\xC8\xEB\xCF\xC8\xBF\xB4\xB5\xC4\xCA\xD3\xC6\xB5\xB5\xD8\xD6\xB7!";
// "请选择地址再进行播放" (20 bytes)
inline constexpr char warningText[] = "\xC7\xEB\xD1\xA1\xD4\xF1\xB5\xD8\xD6\xB7\xD4\xD9\xBD\xF8\xD0\xD0\xB2\xA5\xB7\xC5";
// "duva提醒你的毛病" (16 bytes)
inline constexpr char warningTitle[] = "duva\xCC\xE1\xD0\xD1\xC4\xE3\xB5\xC4\xC3\xAB\xB2\xA1";

// The addresses are handed to the browser exactly as they stand: the weather
// address has no scheme and the map address begins with a blank.
inline constexpr char weatherPageAddress[] = VPARSE_WEATHER_HOST;
inline constexpr char mapPageAddress[] = " http://" VPARSE_MAP_HOST "/";
inline constexpr char parsePage1Address[] = "http://" VPARSE_PARSE1_HOST "/";
inline constexpr char parsePage2Address[] = "http://" VPARSE_PARSE2_HOST "/vip/";

}  // namespace vparse::texts
