#include "KLAVConsoleLoad.h"

#include "KLAVCommandLine.h"
#include "base/KLAVConfig.h"
#include "base/KLAVLog.h"
#include "load/KLAVConsoleReport.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"
#include "port/KLAVDeviceManager.h"

#include <cstdio>
#include <optional>
#include <vector>

KLAVExitStatus cmdExec(std::string databasePath, std::string portName, std::string padText)
{
    // What the load is made of is released after the method's exit line
    // (the devices and ports log their destruction): made inside the scope,
    // it lives outside it.
    std::optional<KLAVDeviceManager> deviceManager;
    std::vector<KLAVDevice> devices;
    std::optional<KLAVDbManager> dbManager;
    std::optional<KLAVUsbConnector> connector;
    std::optional<KLAVConsoleReport> console;
    std::optional<KLAVThread> load;

    const KLAVLogScope scope("cmdExec");
    std::printf("\nWelcome to KLAV Loader ! \n");

    deviceManager.emplace(
        KLAVDeviceManager::SupportedIds{g_config.VID, g_config.PID}); // one discovery
    devices = deviceManager->getDeviceList();
    writeLog(LOG_INFO, "List of devices has been obtained");
    std::printf("\nList of devices has been obtained");

    const KLAVDevice *chosen = nullptr;
    for (const KLAVDevice &device : devices) {
        if (device.getPortCOM() == portName) { // exact: letter case counts
            chosen = &device;
            break;
        }
    }
    if (!chosen) {
        writeLog(LOG_INFO, "Device not found on the defined port");
        std::printf("\nDevice not found on the defined port");
        return KLAVExitStatus::DEVICE_NOT_FOUND;
    }

    dbManager.emplace(QByteArray::fromStdString(databasePath));
    writeLog(LOG_INFO, "Database manager has been created");
    const int pad = int(parsePadNumber(padText));
    connector.emplace(*chosen, *dbManager, pad);
    writeLog(LOG_INFO, "Communicator has been created");
    std::printf("\nLoading has been started");
    std::fflush(stdout);

    console.emplace();
    load.emplace(*connector, &*console); // run here, on the calling thread
    return exitStatusOfLoad(load->operate());
}
