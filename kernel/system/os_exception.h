// The one exception type of the operating-system layer.
#pragma once

#include <exception>
#include <string>

class OSException : public std::exception {
public:
    explicit OSException(std::string message = {}) : m_message(std::move(message)) {}
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};
