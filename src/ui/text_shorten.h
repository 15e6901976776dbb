#pragma once
// Shortening a text in the middle so that it fits a given width, for names
// that differ only at their end (hive names of one user's profile).
#include <functional>
#include <string>
#include <string_view>

namespace hv::ui {

// The ellipsis a shortened text shows in place of what was left out
// (Windows-1252, the forms' code page).
inline constexpr char kEllipsis[] = "\x85";

// `text` unchanged when `width(text)` is at most `room`; otherwise its start,
// kEllipsis and its end, as long as fits in `room`. The end kept is the last
// part after a '\' or '-' (the user's number and "_Classes" in
// "\REGISTRY\USER\S-1-5-21-...-1001_Classes"), or as much of the end as fits
// when that part alone is too wide; the start is cut after a '\' or '-' when
// that costs only a few characters. Never wider than `room` unless even the
// ellipsis alone is.
std::string ShortenInMiddle(const std::string& text, int room,
                            const std::function<int(std::string_view)>& width);

}  // namespace hv::ui
