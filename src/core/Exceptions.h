#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace qrt {

// Base of every exception the system raises itself. Handlers that catch "the system's exceptions"
// catch this class; other C++ exceptions pass through them.
class Exception : public std::exception {
public:
    explicit Exception(std::string aMessage) : Message(std::move(aMessage)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    virtual const char* ClassName() const { return "Exception"; }

    std::string Message;
};

#define QRT_DECLARE_EXCEPTION(Name, Base)                                                                    \
    class Name : public Base {                                                                               \
    public:                                                                                                  \
        using Base::Base;                                                                                    \
        const char* ClassName() const override { return #Name; }                                             \
    };

// A failed internal-consistency check (see QRT_ASSERT).
QRT_DECLARE_EXCEPTION(EAssertionFailed, Exception)
// A silent abort: handlers that expect it swallow it without a report.
QRT_DECLARE_EXCEPTION(EAbort, Exception)
// A call of an operation that a class does not supply.
QRT_DECLARE_EXCEPTION(EAbstractError, Exception)
QRT_DECLARE_EXCEPTION(EConvertError, Exception)
QRT_DECLARE_EXCEPTION(EStreamError, Exception)
QRT_DECLARE_EXCEPTION(EReadError, EStreamError)
QRT_DECLARE_EXCEPTION(EWriteError, EStreamError)
QRT_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
QRT_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
QRT_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)

// An operating-system failure, with the system's error code.
class EOSError : public Exception {
public:
    EOSError(std::string aMessage, uint32_t aErrorCode)
        : Exception(std::move(aMessage)), ErrorCode(aErrorCode) {}
    const char* ClassName() const override { return "EOSError"; }

    uint32_t ErrorCode;
};

// The system's text for an error code (strerror).
std::string SysErrorMessage(int aErrorCode);
// "System Error.  Code: %d.\r\n%s" for the given code.
[[noreturn]] void RaiseOSError(int aErrorCode);
// RaiseOSError with the current errno.
[[noreturn]] void RaiseLastOSError();

// Class name of any exception: ClassName() for the system's own, the demangled type name otherwise.
std::string ExceptionClassName(const std::exception& e);

} // namespace qrt
