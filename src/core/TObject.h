#pragma once

namespace qrt {

// Root of the system's class tree. ClassName() is what logs and reports print for an object
// (the full log names the owner of a chain by it, for example).
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;
    virtual const char* ClassName() const { return "TObject"; }
};

// Placed in the public section of a class derived from TObject (or from qrt::Exception).
#define QRT_CLASSNAME(name)                                                                                  \
    const char* ClassName() const override {                                                                 \
        return #name;                                                                                        \
    }

} // namespace qrt
