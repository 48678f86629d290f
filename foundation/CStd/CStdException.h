#pragma once
// Exception carrying a text of at most 1023 bytes ("unknown" by default), copied into the object.
#include <exception>

namespace Vorn {

class std_exception : public std::exception {
public:
    std_exception() noexcept;
    explicit std_exception(const char* text) noexcept;  // null gives "unknown"
    const char* what() const noexcept override;

private:
    char m_text[1024];
};

}  // namespace Vorn
