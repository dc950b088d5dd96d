#include "DeviceChangeNotifier.h"

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QCoreApplication>
#include <QWidget>

#include <windows.h>

#include <dbt.h> // needs the types of windows.h

// Every top-level window receives DBT_DEVNODES_CHANGED when a device is added
// or removed; registering for all interface classes adds the arrival and
// removal of each interface (USB device, COM port, smart-card reader).
struct DeviceChangeNotifier::Watch : QAbstractNativeEventFilter {
    HWND window = nullptr;
    HDEVNOTIFY registration = nullptr;
    std::function<void()> changed;

    bool nativeEventFilter(const QByteArray &eventType, void *message, long *) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->hwnd == window && msg->message == WM_DEVICECHANGE &&
            (msg->wParam == DBT_DEVICEARRIVAL || msg->wParam == DBT_DEVICEREMOVECOMPLETE ||
             msg->wParam == DBT_DEVNODES_CHANGED))
            changed();
        return false; // the window handles the message as it would
    }
};

DeviceChangeNotifier::DeviceChangeNotifier() = default;

DeviceChangeNotifier::~DeviceChangeNotifier()
{
    if (!watch_)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(watch_.get());
    if (watch_->registration)
        UnregisterDeviceNotification(watch_->registration);
}

bool DeviceChangeNotifier::start(QWidget *window, std::function<void()> changed)
{
    if (watch_ || !window || !QCoreApplication::instance())
        return false;
    watch_ = std::make_unique<Watch>();
    watch_->window = reinterpret_cast<HWND>(window->winId());
    watch_->changed = std::move(changed);
    DEV_BROADCAST_DEVICEINTERFACE_W filter = {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    // Failing, the broadcast DBT_DEVNODES_CHANGED still arrives.
    watch_->registration = RegisterDeviceNotificationW(
        watch_->window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
    QCoreApplication::instance()->installNativeEventFilter(watch_.get());
    return true;
}
