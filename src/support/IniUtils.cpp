#include "support/IniUtils.h"

#include "core/Assert.h"
#include "support/IniReader.h"

QRT_UNIT("misc\\IniUtils")

namespace qrt {

namespace {
// The value buffer holds 65536 bytes including the terminating zero.
constexpr size_t kMaxValueLength = 65535;
} // namespace

void ReadIniString(const std::string& aFileName, const std::string& aSection, const std::string& aKey,
                   std::string& aValue, const std::string& aDefault) {
    QRT_ASSERT(!aFileName.empty() && !aSection.empty() && !aKey.empty(), "WTF?");
    std::shared_ptr<const TIniReader> reader = TIniReader::LoadFile(aFileName);
    const std::string* value = reader ? reader->Find(aSection, aKey) : nullptr;
    const std::string& result = value ? *value : aDefault;
    aValue = result.substr(0, kMaxValueLength);
}

} // namespace qrt
