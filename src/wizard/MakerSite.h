#pragma once

#include <string>

namespace qrt {

// The maker's web site and support contacts, fixed at build time (QRT_MAKER_HOST, QRT_MAKER_PHONE,
// QRT_MAKER_EMAIL). The site's base address can be pointed elsewhere (tests use a loopback server).

std::string MakerHost();
std::string MakerPhone();
std::string MakerEmail();
// The base address (scheme and host, no trailing '/') and the address of a page below it.
std::string MakerSiteBase();
std::string MakerUrl(const std::string& aPath);
// An empty text restores "http://" + the built-in host. Returns the previous base.
std::string SetMakerSiteBase(const std::string& aBase);

} // namespace qrt
