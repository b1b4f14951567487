#include "wizard/MakerSite.h"

#ifndef QRT_MAKER_HOST
#define QRT_MAKER_HOST "www.morvask.example"
#endif
#ifndef QRT_MAKER_PHONE
#define QRT_MAKER_PHONE "+1 555 0100"
#endif
#ifndef QRT_MAKER_EMAIL
#define QRT_MAKER_EMAIL "support@morvask.example"
#endif

namespace qrt {

namespace {

std::string& BaseSetting() {
    static std::string base;
    return base;
}

} // namespace

std::string MakerHost() {
    return QRT_MAKER_HOST;
}
std::string MakerPhone() {
    return QRT_MAKER_PHONE;
}
std::string MakerEmail() {
    return QRT_MAKER_EMAIL;
}

std::string MakerSiteBase() {
    return BaseSetting().empty() ? std::string("http://") + QRT_MAKER_HOST : BaseSetting();
}

std::string MakerUrl(const std::string& aPath) {
    return MakerSiteBase() + aPath;
}

std::string SetMakerSiteBase(const std::string& aBase) {
    std::string previous = BaseSetting();
    std::string base = aBase;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    BaseSetting() = base;
    return previous;
}

} // namespace qrt
