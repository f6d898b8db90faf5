// The one runtime-error type of the program: an error number with its description, mirroring the
// runtime the program's messages were written against, and the generic message built from it.
#pragma once

#include <stdexcept>
#include <string>

namespace orv {

// The user asked a running command to stop: not a fault, the command ends without a message.
inline constexpr int kUserInterrupt = 18;

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, std::string description);

    int number() const { return number_; }
    bool stoppedByUser() const { return number_ == kUserInterrupt; }
    const std::string& description() const { return description_; }

    // The numbered stage of the running command where the error arose (0 when not known), so the
    // command's boundary can report "at line L".
    int line() const { return line_; }
    RuntimeError& atLine(int line) {
        if (line_ == 0) line_ = line;
        return *this;
    }

private:
    int number_;
    std::string description_;
    int line_ = 0;
};

// The standard description of an error number ("Overflow" for 6); "Application-defined or
// object-defined error" for numbers without one.
std::string errorDescription(int number);

// Turns whatever was thrown into a RuntimeError: bad_alloc becomes 7 "Out of memory", anything
// else 5 "Invalid procedure call or argument". Call inside a catch block.
RuntimeError currentError();

// "error N (DESC) at line L of ROUTINE"
std::string genericErrorText(const RuntimeError& e, int line, const std::string& routine);

inline constexpr const char* kGenericErrorTitle = "Nobody's Perfect";

} // namespace orv
