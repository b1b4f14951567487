#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// Cuts aText at aDelimiter: aHead gets the text before it and aText keeps the text after it. With
// aFromEnd the last delimiter counts (a delimiter in the first character is not looked at then).
// Without a delimiter aHead gets all of aText and aText becomes empty. aText must not be empty.
void SplitAt(std::string& aText, char aDelimiter, bool aFromEnd, std::string& aHead);

// One slice of aText between delimiters, starting at the 1-based aPosition, which moves on:
//   forward: the slice runs to the next delimiter; aPosition moves past it, or becomes -1 at the end;
//   backwards: the slice runs back to the previous delimiter; aPosition moves before it, or becomes
//   0 at the start.
// Loop while aPosition > 0. Start forward at 1 and backwards at the length of aText; a delimiter at
// the far end gives no empty slice.
void GetStringSlice(const std::string& aText, int32_t& aPosition, char aDelimiter, std::string& aSlice,
                    bool aBackwards = false);

} // namespace qrt
