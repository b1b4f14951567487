#pragma once

#include "core/Streams.h"

#include <string>

namespace qrt {

// Writes the bytes of aText (nothing for an empty text); raises EWriteError when not all were written.
void WriteString(TStream* aStream, const std::string& aText);
// Writes the bytes of aText without checking how many were written.
void WriteText(TStream* aStream, const std::string& aText);
// WriteText of aText, then CR LF.
void WriteLine(TStream* aStream, const std::string& aText);

} // namespace qrt
