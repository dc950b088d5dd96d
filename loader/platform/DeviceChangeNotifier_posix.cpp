#include "DeviceChangeNotifier.h"

// Without a device-event daemon's library there is no notification to take
// here (sysfs sends no file events): the window looks for itself.
struct DeviceChangeNotifier::Watch {};

DeviceChangeNotifier::DeviceChangeNotifier() = default;
DeviceChangeNotifier::~DeviceChangeNotifier() = default;

bool DeviceChangeNotifier::start(QWidget *, std::function<void()>)
{
    return false;
}
