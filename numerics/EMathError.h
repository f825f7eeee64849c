#pragma once
// A calculation that cannot produce a result, such as a curve through too few points. The text is
// meant for the operator and is shown as it stands.
#include <stdexcept>
#include <string>

class EMathError : public std::runtime_error {
public:
    explicit EMathError(const std::string& message) : std::runtime_error(message) {}
};
