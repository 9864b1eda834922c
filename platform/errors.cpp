#include "platform/errors.h"

namespace lumo {

UserError::UserError(const QString& message) : std::runtime_error(message.toStdString()) {}

} // namespace lumo
