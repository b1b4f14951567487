#pragma once

#include <memory>
#include <string>
#include <unordered_map>

namespace qrt {

// The INI reader behind ReadIniString.
//   - "[name]" opens a section; "key = value" lines belong to the section above them;
//   - section and key names match without regard to ASCII case;
//   - blanks (spaces, tabs) around names and values are trimmed; quotes around a value are kept;
//   - a line whose first non-blank character is ';' is a comment, as is any line without '=';
//   - the first occurrence of a key in a section wins (also across repeated headers of one section);
//   - lines before the first section header are ignored.
class TIniReader {
public:
    explicit TIniReader(const std::string& aText);

    // The value of a key, or nullptr when the section or the key is missing.
    const std::string* Find(const std::string& aSection, const std::string& aKey) const;
    size_t SectionCount() const { return fSections.size(); }

    // The parsed file, or nullptr when it cannot be read. Parsed files are kept and reused as long
    // as the file keeps its identity, size and change times, so repeated reads are cheap and a
    // changed file is read anew.
    static std::shared_ptr<const TIniReader> LoadFile(const std::string& aFileName);
    static void ClearCache();

private:
    using TSection = std::unordered_map<std::string, std::string>;
    std::unordered_map<std::string, TSection> fSections;
};

} // namespace qrt
