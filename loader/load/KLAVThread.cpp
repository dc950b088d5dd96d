#include "KLAVThread.h"

#include "app/KLAVCommandLine.h"
#include "app/KLAVLog.h"
#include "load/KLAVLoadResult.h"

#include <cstdarg>
#include <cstdio>

KLAVThread::KLAVThread(KLAVUsbConnector connectorCopy) : QThread(nullptr), connector(std::move(connectorCopy))
{
    writeLog(LOG_ENTER, "KLAVThread::KLAVThread");
    writeLog(LOG_EXIT, "KLAVThread::KLAVThread");
}

KLAVThread::~KLAVThread()
{
    // The creator releases a finished thread; never destroy a running one.
    wait();
}

void KLAVThread::run()
{
    writeLog(LOG_ENTER, "KLAVThread::run");
    (void)operate();
    writeLog(LOG_EXIT, "KLAVThread::run");
}

void KLAVThread::loadCancel()
{
    writeLog(LOG_ENTER, "KLAVThread::loadCancel");
    cancelRequested = true;
    writeLog(LOG_EXIT, "KLAVThread::loadCancel");
}

void KLAVThread::print(const char *format, ...) const
{
    if (!g_consoleMode)
        return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

void KLAVThread::reportProgress(int &lastPrinted)
{
    const int progress = connector.getProgress();
    if (!g_consoleMode) {
        emit threadProgress(progress);
        return;
    }
    if (progress % 10 == 0 && progress != lastPrinted) {
        print("\nLoading progress : %d %%", progress);
        lastPrinted = progress;
    }
}

int KLAVThread::operate()
{
    writeLog(LOG_ENTER, "KLAVThread::operate");
    cancelRequested = false;
    QString nackText;
    QByteArray replyText;

    int result = connector.operate(replyText);
    if (result != LOAD_OK) {
        writeLog(LOG_ERROR, "Communication initialization process failed");
        if (result == LOAD_REQUEST_REFUSED) {
            writeLog(LOG_ERROR, "Update request failed with returned message : %s", replyText.constData());
            print("\nUpdate request failed with returned message : %s", replyText.constData());
            if (!g_consoleMode)
                emit threadFeedback_NACK(tr("Loading request failed - error : ") + QString::fromLatin1(replyText));
        } else {
            print("\nCommunication initialization process failed");
            if (!g_consoleMode)
                emit threadFeedback(result);
        }
    } else {
        writeLog(LOG_INFO, "Communication initialization process succeeded");
        print("\nCommunication initialization process succeeded");
        int lastPrinted = 0;
        for (;;) {
            result = connector.sendDataFrame(nackText);
            if (result != LOAD_OK)
                break;
            reportProgress(lastPrinted);
            if (cancelRequested)
                break;
        }
        result = finishDataPhase(result, nackText);
    }

    if (connector.closeConnection())
        writeLog(LOG_INFO, "Connection has been successfully closed");
    else
        writeLog(LOG_ERROR, "Failed to close connection");
    writeLog(LOG_EXIT, "KLAVThread::operate");
    return result;
}

int KLAVThread::finishDataPhase(int dataResult, const QString &nackText)
{
    writeLog(LOG_INFO, "Data processing has been finished");
    if (cancelRequested) {
        writeLog(LOG_INFO, "Loading was cancelled");
        if (!g_consoleMode)
            emit threadFeedback(LOAD_CANCELLED);
        return LOAD_CANCELLED;
    }
    switch (dataResult) {
    case LOAD_END_OF_FILE:
        writeLog(LOG_INFO, "All data frames have been sent");
        print("\nAll data frames have been sent. Sending ending frame ... ");
        if (connector.sendEndingFrame()) {
            writeLog(LOG_INFO, "Loading succeeded");
            print("\nLoading succeeded\n");
            if (!g_consoleMode)
                emit threadFeedback(LOAD_OK);
            return LOAD_OK;
        }
        if (!g_consoleMode)
            emit threadFeedback(LOAD_ENDING_FAILED);
        print("\nNo response for the ending frame");
        writeLog(LOG_ERROR, "No response for the ending frame");
        return LOAD_ENDING_FAILED;
    case LOAD_NACK: {
        const QByteArray text = nackText.toUtf8();
        writeLog(LOG_ERROR, "A NACK was received : %s", text.constData());
        print("\nA NACK was received : %s", text.constData());
        if (!g_consoleMode)
            emit threadFeedback_NACK(tr("A NACK was received : ") + nackText);
        return LOAD_NACK;
    }
    case LOAD_NACK_INCOMPLETE:
        writeLog(LOG_ERROR, "An incomplete NACK was received");
        print("\nAn incomplete NACK was received");
        if (!g_consoleMode)
            emit threadFeedback(LOAD_NACK_INCOMPLETE);
        return LOAD_NACK_INCOMPLETE;
    case LOAD_FILE_NOT_OPENED:
        // The file failed under the load: no ending frame, the terminal must
        // not take a partial database as complete.
        writeLog(LOG_ERROR, "The database file could not be read");
        print("\nThe database file could not be read");
        if (!g_consoleMode)
            emit threadFeedback(LOAD_FILE_NOT_OPENED);
        return LOAD_FILE_NOT_OPENED;
    case LOAD_NO_RESPONSE:
        writeLog(LOG_ERROR, "Timeout when sending data");
        print("\nTimeout when sending data");
        if (!g_consoleMode)
            emit threadFeedback_NACK(tr("Timeout when sending data"));
        return LOAD_NO_RESPONSE;
    default:
        // A refused block (7) still closes the transfer on the terminal's side.
        (void)connector.sendEndingFrame();
        if (!g_consoleMode)
            emit threadFeedback(dataResult);
        return dataResult;
    }
}
