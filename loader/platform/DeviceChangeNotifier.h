#pragma once
// Tells a window that devices came or went, where the platform says so
// itself (Windows sends WM_DEVICECHANGE to top-level windows). Where it says
// nothing, start() returns false and the caller looks for changes on its own.

#include <functional>
#include <memory>

class QWidget;

class DeviceChangeNotifier {
public:
    DeviceChangeNotifier();
    ~DeviceChangeNotifier();
    DeviceChangeNotifier(const DeviceChangeNotifier &) = delete;
    DeviceChangeNotifier &operator=(const DeviceChangeNotifier &) = delete;

    // From now on calls changed, on the window's thread, each time the
    // platform tells the window that a device arrived or left. False when the
    // platform tells nothing of the kind (changed is then never called).
    bool start(QWidget *window, std::function<void()> changed);

private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};
