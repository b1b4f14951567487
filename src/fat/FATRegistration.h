#pragma once

namespace qrt {

// Registers TFileSystemFAT12, TFileSystemFAT16 and TFileSystemFAT32, in this order, with the
// file-system class registry. Called by the front ends at start-up (and by tests); calling it again
// changes nothing.
void RegisterFATFileSystems();

} // namespace qrt
