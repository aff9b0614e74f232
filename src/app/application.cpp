#include "app/application.h"

#include "platform/error.h"

#include <QMessageBox>

namespace sky {

namespace {

ErrorSink &sink() {
    static ErrorSink s;
    return s;
}

} // namespace

void ShowError(const QString &message) {
    if (sink()) {
        sink()(message);
        return;
    }
    QMessageBox::critical(nullptr, QStringLiteral("Skyvane"), message);
}

ErrorSink SetErrorSink(ErrorSink s) {
    ErrorSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Skyvane"));
    setApplicationVersion(QStringLiteral(SKYVANE_VERSION));
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error &e) {
        ShowError(e.text());
    } catch (const std::exception &e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace sky
