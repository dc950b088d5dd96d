#pragma once
// Switches the diagnostic log on into a temporary folder for the lifetime of
// the object, so a test can read back the lines the code wrote.

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Every line written so far.
    QStringList lines() const;
    // How many lines contain text.
    int count(const QString &text) const;

private:
    QTemporaryDir folder;
};
