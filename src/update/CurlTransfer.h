#pragma once

#include "update/urlDownloads.h"

#include <cstdint>
#include <string>

namespace qrt {

// One transfer over libcurl, shared by HttpGet (aRequestVariant false: the address as given, the
// caller's flags) and HttpRequest (aRequestVariant true: the address rebuilt from its parts, the
// variant's own flags, POST when aBody is not empty). Runs the phases, copies the target back and
// releases every handle whatever happens. Returns 0 when the transfer completed and the platform's
// error code when it failed.
int32_t RunTransfer(const std::string& aUrl, ThttpData& aTarget, uint32_t aFlags, int32_t aUserData,
                    const TDownloadProgress& aOnProgress, bool aRequestVariant, const std::string& aBody);

} // namespace qrt
