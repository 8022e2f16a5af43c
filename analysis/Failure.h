#pragma once

#include <QString>
#include <stdexcept>

namespace velmora {

// A failure that ends a handler. It carries the wording the user sees in the error box; the
// window adds nothing but the closing full stop.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message)
    {}
    const QString& message() const noexcept { return message_; }

private:
    QString message_;
};

} // namespace velmora
