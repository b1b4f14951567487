#pragma once

#include <string>

namespace qrt {

// Recovered names come from a damaged volume and may hold anything. Before a volume path becomes a
// path on this host, every component is made a safe file name, so no recovered name can lead
// outside the output folder:
//   - an empty component becomes "_", "." becomes "_." and ".." becomes "_..";
//   - '/' and NUL inside a name become '_';
//   - a name longer than the host allows (255 bytes) is shortened before its extension, never in
//     the middle of a UTF-8 character.

inline constexpr size_t kMaxHostNameBytes = 255;

// One component of a volume path as a safe file name.
std::string SafeHostName(const std::string& aName);
// A volume path relative to the output folder, with '\' between its components, as a host path
// relative to it: each component made safe, joined with the host's delimiter.
std::string VolumeToHostPath(const std::string& aRelativePath);
// aHostRelative (below aBase, which ends with the delimiter) changed so that it does not run into
// what is already there: a folder of the path that exists as a file, or a file name that exists as
// a folder, gets "_" appended until it does not. A damaged volume can hold a file and a folder of
// the same name; both are saved. An existing file of the same name is still replaced.
std::string AvoidFileFolderClashes(const std::string& aBase, const std::string& aHostRelative);

} // namespace qrt
