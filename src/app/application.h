#pragma once
// The application object: an error that escapes a handler is shown in a message box and the
// program goes on.
#include <QApplication>

#include <functional>

namespace sky {

// Shows an error message to the user. The default is a modal message box titled "Skyvane";
// tests replace it to collect the messages instead.
void ShowError(const QString &message);
using ErrorSink = std::function<void(const QString &)>;
ErrorSink SetErrorSink(ErrorSink sink); // returns the previous sink

// Makes "Tahoma" available: the system's, else Wine's metric-compatible one where installed.
void EnsureTahoma();

class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace sky
