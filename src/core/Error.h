#pragma once

#include <stdexcept>
#include <string>

namespace vesk {

// An error raised by one of our components: a domain, a small code and a sentence that
// can be shown to the person as it is. Components throw it; callers that face the user
// turn it into a HUD message or a command-line line.
class Error : public std::runtime_error {
public:
    Error(std::string domain, int code, std::string description)
        : std::runtime_error(description), domain_(std::move(domain)), code_(code) {}

    const std::string& domain() const noexcept { return domain_; }
    int code() const noexcept { return code_; }
    std::string description() const { return what(); }

private:
    std::string domain_;
    int code_;
};

// Errors the product raises about itself use this domain.
inline constexpr const char* kErrorDomain = "ProjectVesk";

}  // namespace vesk
