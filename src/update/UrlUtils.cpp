#include "update/UrlUtils.h"

#include "core/Assert.h"

#include <algorithm>

QRT_UNIT("web\\UrlUtils")

namespace qrt {

namespace {

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsSchemeChar(char c) {
    return IsAsciiAlnum(c) || c == '+' || c == '-' || c == '.';
}

bool IsFragmentChar(char c) {
    return IsAsciiAlnum(c) || c == '_';
}

bool SameTextAscii(const std::string& a, const char* b) {
    std::string lower = a;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower == b;
}

// The port text as a number; anything but 1 to 65535 written in decimal digits is malformed.
int32_t ParsePort(const std::string& aText) {
    QRT_ASSERT(!aText.empty() && aText.size() <= 5, "WTF?");
    int32_t port = 0;
    for (char c : aText) {
        QRT_ASSERT(c >= '0' && c <= '9', "WTF?");
        port = port * 10 + (c - '0');
    }
    QRT_ASSERT(port >= 1 && port <= 65535, "WTF?");
    return port;
}

} // namespace

void PrepareRequest(const std::string& aUrl, ThttpRequestData& aRequest) {
    QRT_ASSERT(!aUrl.empty(), "WTF?");
    aRequest = ThttpRequestData{};
    const size_t len = aUrl.size();

    // Scheme: a leading run of scheme characters ending in "://". The same run ending in a bare ':'
    // is neither a scheme nor a host name ("host:8080" needs "http://" in front).
    size_t start = 0;
    size_t run = 0;
    while (run < len && IsSchemeChar(aUrl[run]))
        run++;
    if (run < len && aUrl[run] == ':') {
        QRT_ASSERT(run > 0 && aUrl.compare(run, 3, "://") == 0, "WTF?");
        aRequest.Scheme = aUrl.substr(0, run + 3);
        start = run + 3;
    }

    // Fragment and query are cut from the end.
    size_t end = len;
    size_t hash = aUrl.rfind('#');
    if (hash != std::string::npos && hash >= start &&
        std::all_of(aUrl.begin() + static_cast<std::ptrdiff_t>(hash) + 1, aUrl.end(), IsFragmentChar)) {
        aRequest.Fragment = aUrl.substr(hash);
        end = hash;
    }
    size_t question = aUrl.find('?', start);
    if (question != std::string::npos && question < end) {
        aRequest.Query = aUrl.substr(question, end - question);
        end = question;
    }

    // Host part: up to the first '/' before the query.
    size_t slash = aUrl.find('/', start);
    size_t hostEnd = slash != std::string::npos && slash < end ? slash : end;
    std::string hostPart = aUrl.substr(start, hostEnd - start);

    size_t at = hostPart.rfind('@');
    if (at != std::string::npos) {
        std::string user = hostPart.substr(0, at);
        size_t colon = user.find(':');
        QRT_ASSERT(colon != std::string::npos, "WTF?");
        aRequest.UserName = user.substr(0, colon);
        aRequest.Password = user.substr(colon + 1);
        hostPart.erase(0, at + 1);
    }

    // A bracketed IPv6 literal keeps its colons; otherwise the first ':' starts the port.
    size_t portColon = std::string::npos;
    if (!hostPart.empty() && hostPart[0] == '[') {
        size_t close = hostPart.find(']');
        QRT_ASSERT(close != std::string::npos, "WTF?");
        if (close + 1 < hostPart.size()) {
            QRT_ASSERT(hostPart[close + 1] == ':', "WTF?");
            portColon = close + 1;
        }
    } else {
        portColon = hostPart.find(':');
    }
    std::string portText;
    if (portColon != std::string::npos) {
        portText = hostPart.substr(portColon + 1);
        hostPart.erase(portColon);
    }
    QRT_ASSERT(!hostPart.empty(), "WTF?");
    aRequest.Host = hostPart;

    if (hostEnd < end) {
        std::string path = aUrl.substr(hostEnd, end - hostEnd);
        size_t last = path.rfind('/');
        aRequest.Path = path.substr(0, last + 1);
        aRequest.Document = path.substr(last + 1);
    }

    if (portColon != std::string::npos)
        aRequest.Port = ParsePort(portText);
    else
        aRequest.Port = SameTextAscii(aRequest.Scheme, "https://") ? 443 : 80;

    std::string url = aRequest.Scheme;
    if (!aRequest.UserName.empty()) url += aRequest.UserName + ":" + aRequest.Password + "@";
    url += aRequest.Host;
    if (portColon != std::string::npos) url += ":" + portText;
    url += aRequest.Path + aRequest.Document + aRequest.Query + aRequest.Fragment;
    aRequest.Url = url;
}

} // namespace qrt
