#pragma once

#include <functional>
#include <string>

namespace qrt {

// The shell's "open" (a web address) and "explore" (a folder in the file manager), through the
// desktop's URL handlers. Failures are not reported.
void ShellExecute(const std::string& aVerb, const std::string& aTarget);

// Replaces what ShellExecute does (tests record the calls instead of starting programs); an empty
// handler restores the desktop's. Returns the previous handler.
using TShellHandler = std::function<void(const std::string& aVerb, const std::string& aTarget)>;
TShellHandler SetShellHandler(TShellHandler aHandler);

} // namespace qrt
