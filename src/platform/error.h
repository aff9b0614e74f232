#pragma once
// The one error type the program raises. Its message is the exact text the user sees in the
// application's error box; commands do not catch it, the application object does.
#include <QString>
#include <stdexcept>

namespace sky {

class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), text_(message) {}
    const QString &text() const noexcept { return text_; }

private:
    QString text_;
};

} // namespace sky
