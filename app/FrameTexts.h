// The frame's own texts as GBK bytes (code page 936). Each line shows the text it
// holds; the bytes are what the program uses, so that they stay exact whatever
// character set the compiler assumes for narrow literals.
#pragma once

namespace vparse::texts {

// "墨舟制作_视频解析工具" (21 bytes)
inline constexpr char windowTitle[] = "\xC4\xAB\xD6\xDB\xD6\xC6\xD7\xF7_\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xB9\xA4\xBE\xDF";
// "  点击“地址”点击“视频解析”在屏幕中的编辑框输入先看的视频地址" (64 bytes)
inline constexpr char firstHintText[] = "  \xB5\xE3\xBB\xF7\xA1\xB0\xB5\xD8\xD6\xB7\xA1\xB1\xB5\xE3\xBB\xF7\xA1\xB0\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6\xA1\xB1\xD4\xDA\xC6\xC1\xC4\xBB\xD6\xD0\xB5\xC4\xB1\xE0\xBC\xAD\xBF\xF2\xCA\xE4\xC8\xEB\xCF\xC8\xBF\xB4\xB5\xC4\xCA\xD3\xC6\xB5\xB5\xD8\xD6\xB7";
// "天气" (4 bytes)
inline constexpr char weatherCaption[] = "\xCC\xEC\xC6\xF8";
// "地图" (4 bytes)
inline constexpr char mapCaption[] = "\xB5\xD8\xCD\xBC";
// "视频解析" (8 bytes)
inline constexpr char parseCaption[] = "\xCA\xD3\xC6\xB5\xBD\xE2\xCE\xF6";
// "地址1" (5 bytes)
inline constexpr char address1Caption[] = "\xB5\xD8\xD6\xB7" "1";
// "地址2" (5 bytes)
inline constexpr char address2Caption[] = "\xB5\xD8\xD6\xB7" "2";
// "未开发" (6 bytes)
inline constexpr char undevelopedCaption[] = "\xCE\xB4\xBF\xAA\xB7\xA2";

// "运行时出错!" (11 bytes)
inline constexpr char fatalHead[] = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!";
// "错误代码：" (10 bytes)
inline constexpr char fatalCodeLabel[] = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";
// "错误信息：" (10 bytes)
inline constexpr char fatalTextLabel[] = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";
// "错误" (4 bytes)
inline constexpr char fatalTitle[] = "\xB4\xED\xCE\xF3";
// "载入窗口模板数据段出错!" (23 bytes)
inline constexpr char templateLoadFailedText[] = "\xD4\xD8\xC8\xEB\xB4\xB0\xBF\xDA\xC4\xA3\xB0\xE5\xCA\xFD\xBE\xDD\xB6\xCE\xB3\xF6\xB4\xED!";
// "载入启动窗口失败" (16 bytes)
inline constexpr char startWindowFailedText[] = "\xD4\xD8\xC8\xEB\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xCA\xA7\xB0\xDC";
// "未载入欲访问窗口组件所在的窗口" (30 bytes)
inline constexpr char windowNotLoadedText[] = "\xCE\xB4\xD4\xD8\xC8\xEB\xD3\xFB\xB7\xC3\xCE\xCA\xB4\xB0\xBF\xDA\xD7\xE9\xBC\xFE\xCB\xF9\xD4\xDA\xB5\xC4\xB4\xB0\xBF\xDA";
// "指定窗口尚未载入" (16 bytes)
inline constexpr char controlNotLoadedText[] = "\xD6\xB8\xB6\xA8\xB4\xB0\xBF\xDA\xC9\xD0\xCE\xB4\xD4\xD8\xC8\xEB";
// "未找到引发事件的窗口" (20 bytes)
inline constexpr char eventWindowNotFoundText[] = "\xCE\xB4\xD5\xD2\xB5\xBD\xD2\xFD\xB7\xA2\xCA\xC2\xBC\xFE\xB5\xC4\xB4\xB0\xBF\xDA";
// "未找到引发事件的窗口组件" (24 bytes)
inline constexpr char eventControlNotFoundText[] = "\xCE\xB4\xD5\xD2\xB5\xBD\xD2\xFD\xB7\xA2\xCA\xC2\xBC\xFE\xB5\xC4\xB4\xB0\xBF\xDA\xD7\xE9\xBC\xFE";
// "分配 %d 字节内存失败!" (21 bytes)
inline constexpr char allocationFailedText[] = "\xB7\xD6\xC5\xE4 %d \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";
// "吴": the character whose height decides the least height of a one-line edit box
inline constexpr char tallGlyph[] = "\xCE\xE2";

}  // namespace vparse::texts
