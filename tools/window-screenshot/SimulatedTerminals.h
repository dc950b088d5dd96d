#pragma once
// terminal-sim processes on their ptys, and a USB device tree in a temporary
// folder whose ttys lead to those ptys, so discovery lists them as terminals.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class SimulatedTerminals {
public:
    // Folder for the device tree; terminal-sim is found beside this program.
    SimulatedTerminals();
    ~SimulatedTerminals(); // stops every terminal it started
    SimulatedTerminals(const SimulatedTerminals &) = delete;
    SimulatedTerminals &operator=(const SimulatedTerminals &) = delete;

    // Starts a terminal and lists it as product at ttyACM<n>; false (with a
    // message on standard error) when terminal-sim does not start.
    bool add(const QString &product, int vendor, int productId);

    QString sysfsRoot() const { return folder_.path() + QStringLiteral("/sys"); }

private:
    QTemporaryDir folder_;
    std::vector<std::unique_ptr<QProcess>> terminals_;
};
