// Error numbers, their descriptions and the generic message text.
#include "base/runtime_error.h"

#include <exception>
#include <new>

namespace orv {

std::string errorDescription(int number) {
    switch (number) {
    case 5: return "Invalid procedure call or argument";
    case 6: return "Overflow";
    case 7: return "Out of memory";
    case 9: return "Subscript out of range";
    case 11: return "Division by zero";
    case 13: return "Type mismatch";
    case 18: return "User interrupt occurred";
    case 52: return "Bad file name or number";
    case 53: return "File not found";
    case 61: return "Disk full";
    case 70: return "Permission denied";
    case 75: return "Path/File access error";
    case 76: return "Path not found";
    case 380: return "Invalid property value";
    case 393: return "Property cannot be read at run time";
    case 480: return "Can't create AutoRedraw image";
    case 481: return "Invalid picture";
    default: return "Application-defined or object-defined error";
    }
}

RuntimeError::RuntimeError(int number) : RuntimeError(number, errorDescription(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

RuntimeError currentError() {
    try {
        throw;
    } catch (const RuntimeError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return RuntimeError(7);
    } catch (...) {
        return RuntimeError(5);
    }
}

std::string genericErrorText(const RuntimeError& e, int line, const std::string& routine) {
    return "error " + std::to_string(e.number()) + " (" + e.description() + ") at line " +
           std::to_string(line) + " of " + routine;
}

} // namespace orv
