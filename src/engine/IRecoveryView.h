#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// Where a recovery run shows its progress: the progress page of the wizard, or the status line of
// the command line. The engine writes the four outputs of one progress update in this order
// (the percentage only when it is known) and then calls Refresh once, so a view that draws all of
// them together draws there. Every call is made on the thread that runs the recovery.
class IRecoveryView {
public:
    virtual ~IRecoveryView() = default;

    // The folder being walked, or what the engine is doing ("Starting...", "Saving...").
    virtual void SetDirectoryText(const std::string& aText) = 0;
    // The file being handled, or "..." while clusters are scanned.
    virtual void SetFileText(const std::string& aText) = 0;
    // "Time elapsed: " followed by the elapsed time (nothing after it before the first millisecond).
    virtual void SetElapsedText(const std::string& aText) = 0;
    // The share of the volume's clusters accounted for, 0..100.
    virtual void SetPercent(int32_t aPercent) = 0;
    // The outputs of one update are complete.
    virtual void Refresh() {}
};

} // namespace qrt
