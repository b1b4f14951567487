#pragma once

#include <QColor>

// The wizard's palette and metrics: one place, so pages and pictures agree.

namespace qrt::style {

inline const QColor Navy{0x1f, 0x3a, 0x5a};   // headings, outlines
inline const QColor Accent{0x1e, 0x6f, 0xb8}; // links, highlights
inline const QColor AccentLight{0xd9, 0xe8, 0xf6};
inline const QColor Text{0x2b, 0x33, 0x3b};  // body text
inline const QColor Muted{0x5f, 0x6b, 0x78}; // secondary text
inline const QColor Panel{0xf0, 0xf2, 0xf5}; // bottom panel
inline const QColor PanelLine{0xd5, 0xda, 0xe0};
inline const QColor Warning{0xe0, 0x8a, 0x1e};
inline const QColor Success{0x2f, 0xa0, 0x4f};
inline const QColor Cream{0xff, 0xfc, 0xf1}; // the web content's background

inline constexpr const char* FontFamily = "Tahoma";
inline constexpr int FontPixelSize = 12;
inline constexpr int HeadingPixelSize = 17;

} // namespace qrt::style
