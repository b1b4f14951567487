#pragma once

#include <cstdint>
#include <string>

namespace qrt {

// A web address split into the parts a request is built from.
struct ThttpRequestData {
    std::string Url;    // the address rebuilt from the parts below
    std::string Scheme; // with its "://", e.g. "http://"; empty when none was given
    std::string HttpVersion = "HTTP/1.1";
    std::string UserName; // from "user:password@" before the host
    std::string Password;
    std::string Path;     // from the first '/' after the host to the last '/' before the query
    std::string Document; // the rest of the path, up to the query
    std::string Query;    // from '?' up to the fragment
    std::string Fragment; // a final '#' followed only by letters, digits and '_'
    std::string Referrer;
    std::string AcceptTypes = "*/*"; // separated by CR, LF, FF or NUL
    std::string Verb = "GET";
    std::string Host;
    int32_t Port = 80;        // given after the host, else 443 for "https://" and 80
    std::string ExtraHeaders; // CR LF separated request header lines
};

// Splits aUrl into aRequest (every field is set anew) and rebuilds aRequest.Url from the parts.
// An empty address, a scheme without "//", a user part without ':', an empty host and a port that
// is not a number from 1 to 65535 fail the assertion "WTF?".
void PrepareRequest(const std::string& aUrl, ThttpRequestData& aRequest);

} // namespace qrt
