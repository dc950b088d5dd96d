#include "KLAVConsoleLoad.h"

#include "KLAVLog.h"

#include <cstdio>

// Terminal discovery and the load are not wired in yet: the device list is
// empty, which is exactly the "no terminal connected" outcome.
int cmdExec(std::string databasePath, std::string portName, std::string padText)
{
    (void)databasePath;
    (void)padText;
    writeLog(LOG_ENTER, "cmdExec");
    std::printf("\nWelcome to KLAV Loader ! \n");
    writeLog(LOG_INFO, "List of devices has been obtained");
    std::printf("\nList of devices has been obtained");
    (void)portName;
    writeLog(LOG_INFO, "Device not found on the defined port");
    std::printf("\nDevice not found on the defined port");
    return kDeviceNotFound;
}
