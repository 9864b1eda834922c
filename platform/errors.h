#pragma once

#include <QString>

#include <stdexcept>

namespace lumo {

// A user-visible error raised by the program itself; its text is shown as it stands.
class UserError : public std::runtime_error {
public:
    explicit UserError(const QString& message);
};

} // namespace lumo
