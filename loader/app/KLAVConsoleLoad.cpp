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

int cmdExec(std::string databasePath, std::string portName, std::string padText)
{
    writeLog(LOG_ENTER, "cmdExec");
    std::printf("\nWelcome to KLAV Loader ! \n");

    const KLAVDeviceManager deviceManager({g_config.VID, g_config.PID}); // one discovery
    const std::vector<KLAVDevice> devices = deviceManager.getDeviceList();
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
        writeLog(LOG_EXIT, "cmdExec");
        return kDeviceNotFound;
    }

    const KLAVDbManager dbManager(QByteArray::fromStdString(databasePath));
    writeLog(LOG_INFO, "Database manager has been created");
    const int pad = int(parsePadNumber(padText));
    const KLAVUsbConnector connector(*chosen, dbManager, pad);
    writeLog(LOG_INFO, "Communicator has been created");
    std::printf("\nLoading has been started");
    std::fflush(stdout);

    KLAVConsoleReport console;
    KLAVThread load(connector, &console); // run here, on the calling thread
    const int code = load.operate();
    writeLog(LOG_EXIT, "cmdExec");
    return code;
}
