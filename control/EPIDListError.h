#pragma once
// A PID list that cannot be read: a numeric field that is not an integer, a list without its
// title, elasticity and header lines, or a file that cannot be read or written. The text is meant
// for the operator and is shown as it stands.
#include <stdexcept>
#include <string>

class EPIDListError : public std::runtime_error {
public:
    explicit EPIDListError(const std::string& message) : std::runtime_error(message) {}
};
