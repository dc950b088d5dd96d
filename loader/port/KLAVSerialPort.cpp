#include "KLAVSerialPort.h"

#include "base/KLAVLog.h"

#include <algorithm>

KLAVSerialPort::KLAVSerialPort(std::string path)
{
    KLAVLogScope scope("KLAVSerialPort::KLAVSerialPort");
    if (line_.open(path)) {
        writeLog(LOG_INFO, "Handler is valid");
    } else {
        openError_ = line_.lastError();
        writeLog(LOG_ERROR, "Handler is not valid");
        writeLog(LOG_ERROR, "Open error : %s", SerialLine::errorText(openError_).c_str());
    }
    ConfigureCOMSession(); // a port whose settings failed is still usable as it is
}

KLAVSerialPort::~KLAVSerialPort()
{
    KLAVLogScope scope("KLAVSerialPort::~KLAVSerialPort");
    if (line_.isOpen())
        line_.close();
}

const char *KLAVSerialPort::openFailure() const
{
    if (line_.isOpen())
        return nullptr;
    switch (SerialLine::openProblemOf(openError_)) {
    case SerialOpenProblem::None:
        return nullptr;
    case SerialOpenProblem::InUse:
        return "is in use by another program";
    case SerialOpenProblem::NotAllowed:
        return "cannot be opened: permission denied";
    case SerialOpenProblem::Missing:
        return "does not exist any more";
    case SerialOpenProblem::Other:
        break;
    }
    return "cannot be opened";
}

uint16_t KLAVSerialPort::ConfigureCOMSession()
{
    KLAVLogScope scope("KLAVSerialPort::ConfigureCOMSession");
    uint16_t res = 1;
    SerialLineSettings settings;
    if (!line_.isOpen()) {
        writeLog(LOG_ERROR, "KLAVSerialPort::ConfigureCOMSession - Handler not valid");
    } else if (!line_.setupQueues(kQueueSize, kQueueSize)) {
        writeLog(LOG_ERROR, "KLAVSerialPort::ConfigureCOMSession - SetupComm err");
    } else if (!line_.getSettings(settings)) {
        writeLog(LOG_ERROR, "KLAVSerialPort::ConfigureCOMSession - GetCommState err");
    } else {
        settings.baudRate = kBaudRate;
        settings.byteSize = 8;
        settings.parity = 0;
        settings.stopBits = 0;
        settings.outxCtsFlow = false;
        settings.outxDsrFlow = false;
        settings.dsrSensitivity = false;
        settings.dtrControl = 1;
        settings.rtsControl = 1;
        settings.outX = false;
        settings.inX = false;
        settings.abortOnError = true;
        if (!line_.setSettings(settings)) {
            writeLog(LOG_ERROR, "KLAVSerialPort::ConfigureCOMSession -  SetCommState err ");
        } else {
            line_.purge(); // stale bytes from an earlier session must not answer this one
            res = 0;
        }
    }
    scope.setExitDetail(" - res=%d", res);
    return res;
}

bool KLAVSerialPort::ExecuteCommand(const uint8_t *command, int32_t commandLength,
                                    uint8_t *response, int32_t *responseLength,
                                    uint32_t readIntervalTimeout, uint32_t readTotalTimeout,
                                    const KLAVAnswerEnd &answerEnd)
{
    KLAVLogScope scope("KLAVSerialPort::ExecuteCommand");
    if (!response || !responseLength || *responseLength <= 0)
        return false;

    SerialLineTimeouts timeouts;
    timeouts.readInterval = readIntervalTimeout;
    timeouts.readTotalMultiplier = 0;
    timeouts.readTotalConstant = readTotalTimeout;
    timeouts.writeTotalMultiplier = 0;
    timeouts.writeTotalConstant = kWriteTimeout;
    if (!line_.setTimeouts(timeouts)) {
        int error = line_.lastError();
        writeLog(LOG_ERROR,
                 "KLAVSerialPort::ExecuteCommand : Open Session -  Failed to set timeouts. Error : "
                 "%d - %s",
                 error, SerialLine::errorText(error).c_str());
        *responseLength = 0;
        return false;
    }

    if (!writeCommand(command, commandLength)) {
        *responseLength = 0;
        return false;
    }

    writeLog(LOG_INFO, "KLAVSerialPort::ExecuteCommand : Read starts");
    size_t received = 0;
    SerialReadEnd end;
    end.leadByte = answerEnd.leadByte;
    end.quietGap = answerEnd.quietGap;
    // One read only: an answer with a gap longer than the interval (or, for
    // an answer the caller calls complete by its first byte, the quiet gap)
    // is cut there.
    if (!line_.read(response, size_t(*responseLength), received, end)) {
        writeLog(LOG_ERROR, "KLAVSerialPort::ExecuteCommand : Read, err %d\n", line_.lastError());
        *responseLength = 0;
        return false;
    }
    *responseLength = int32_t(received);
    writeLog(LOG_INFO, "KLAVSerialPort::ExecuteCommand : got %d bytes", *responseLength);
    return true;
}

// Sends the whole command, or one carriage return when there is none.
bool KLAVSerialPort::writeCommand(const uint8_t *command, int32_t commandLength)
{
    size_t accepted = 0;
    if (commandLength <= 0 || !command) {
        static const uint8_t kCarriageReturn = 0x0D;
        if (!line_.write(&kCarriageReturn, 1, accepted)) {
            writeLog(LOG_ERROR, "KLAVSerialPort::ExecuteCommand : device Gone : err %d\n",
                     line_.lastError());
            return false;
        }
        return true;
    }

    writeLog(LOG_INFO, "KLAVSerialPort::ExecuteCommand : Writing : %d bytes", commandLength);
    int32_t sent = 0;
    while (sent < commandLength) {
        int32_t piece = std::min(commandLength - sent, kWritePieceMax);
        // A call that accepts nothing has waited the whole write time-out
        // without progress: the terminal is not reading, so give up rather
        // than retry for ever.
        if (!line_.write(command + sent, size_t(piece), accepted) || accepted == 0) {
            writeLog(LOG_ERROR, "KLAVSerialPort::ExecuteCommand : Write err %d\n",
                     line_.lastError());
            return false;
        }
        sent += int32_t(accepted);
    }
    return true;
}

bool KLAVSerialPort::closePort()
{
    KLAVLogScope scope("KLAVSerialPort::closePort");
    bool result = true;
    if (line_.isOpen())
        result = line_.close();
    writeLog(LOG_INFO, "Result of handle closing : %d", result ? 1 : 0);
    return result;
}
