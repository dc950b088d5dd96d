#include "KLAVThread.h"

#include "base/KLAVLog.h"
#include "base/KLAVVisibleText.h"
#include "load/KLAVLoadResult.h"

#include <string>

KLAVThread::KLAVThread(KLAVUsbConnector connectorCopy, KLAVLoadReport *chosenReport)
    : QThread(nullptr), connector(std::move(connectorCopy)),
      report(chosenReport ? chosenReport : this)
{
    connector.setReport(report);
    KLAVLogScope scope("KLAVThread::KLAVThread");
}

KLAVThread::~KLAVThread()
{
    // The creator releases a finished thread; never destroy a running one.
    wait();
}

void KLAVThread::run()
{
    KLAVLogScope scope("KLAVThread::run");
    (void)operate();
}

void KLAVThread::loadCancel()
{
    KLAVLogScope scope("KLAVThread::loadCancel");
    cancelRequested = true;
}

void KLAVThread::progress(int percent)
{
    emit threadProgress(percent);
}

void KLAVThread::outcome(int code)
{
    emit threadFeedback(code);
}

void KLAVThread::outcomeText(const QString &text)
{
    emit threadFeedback_NACK(text);
}

int KLAVThread::operate()
{
    KLAVLogScope scope("KLAVThread::operate");
    cancelRequested = false;
    QString nackText;
    QByteArray replyText;

    int result = connector.operate(replyText);
    if (result != LOAD_OK) {
        writeLog(LOG_ERROR, "Communication initialization process failed");
        if (result == LOAD_REQUEST_REFUSED) {
            writeLog(LOG_ERROR, "Update request failed with returned message : %s",
                     replyText.constData());
            report->line(("\nUpdate request failed with returned message : " +
                          std::string(replyText.constData()))
                             .c_str());
            report->outcomeText(tr("Loading request failed - error : ") +
                                QString::fromLatin1(replyText));
        } else {
            report->line("\nCommunication initialization process failed");
            // A refusal that says what to do is shown as it is said.
            if (!connector.failureText().isEmpty())
                report->outcomeText(connector.failureText());
            else
                report->outcome(result);
        }
    } else {
        writeLog(LOG_INFO, "Communication initialization process succeeded");
        report->line("\nCommunication initialization process succeeded");
        for (;;) {
            result = connector.sendDataFrame(nackText);
            if (result != LOAD_OK)
                break;
            report->progress(connector.getProgress());
            if (cancelRequested)
                break;
        }
        result = finishDataPhase(result, nackText);
    }

    if (connector.closeConnection())
        writeLog(LOG_INFO, "Connection has been successfully closed");
    else
        writeLog(LOG_ERROR, "Failed to close connection");
    return result;
}

int KLAVThread::finishDataPhase(int dataResult, const QString &nackText)
{
    writeLog(LOG_INFO, "Data processing has been finished");
    if (cancelRequested) {
        writeLog(LOG_INFO, "Loading was cancelled");
        report->outcome(LOAD_CANCELLED);
        return LOAD_CANCELLED;
    }
    switch (dataResult) {
    case LOAD_END_OF_FILE:
        writeLog(LOG_INFO, "All data frames have been sent");
        report->line("\nAll data frames have been sent. Sending ending frame ... ");
        if (connector.sendEndingFrame()) {
            writeLog(LOG_INFO, "Loading succeeded");
            report->line("\nLoading succeeded\n");
            report->outcome(LOAD_OK);
            return LOAD_OK;
        }
        report->outcome(LOAD_ENDING_FAILED);
        report->line("\nNo response for the ending frame");
        writeLog(LOG_ERROR, "No response for the ending frame");
        return LOAD_ENDING_FAILED;
    case LOAD_NACK: {
        const QByteArray text = nackText.toUtf8();
        writeLog(LOG_ERROR, "A NACK was received : %s", text.constData());
        // The terminal's text is shown, never obeyed: its control
        // characters are written out.
        report->line(("\nA NACK was received : " + consoleVisible(text.toStdString())).c_str());
        report->outcomeText(tr("A NACK was received : ") + windowVisible(nackText));
        return LOAD_NACK;
    }
    case LOAD_NACK_INCOMPLETE:
        writeLog(LOG_ERROR, "An incomplete NACK was received");
        report->line("\nAn incomplete NACK was received");
        report->outcome(LOAD_NACK_INCOMPLETE);
        return LOAD_NACK_INCOMPLETE;
    case LOAD_FILE_NOT_OPENED:
        // The file failed under the load: no ending frame, the terminal must
        // not take a partial database as complete.
        if (!connector.failureText().isEmpty()) {
            // The connector has said why (the file changed under the load).
            report->outcomeText(connector.failureText());
            return LOAD_FILE_NOT_OPENED;
        }
        writeLog(LOG_ERROR, "The database file could not be read");
        report->line("\nThe database file could not be read");
        report->outcome(LOAD_FILE_NOT_OPENED);
        return LOAD_FILE_NOT_OPENED;
    case LOAD_NO_RESPONSE:
        writeLog(LOG_ERROR, "Timeout when sending data");
        report->line("\nTimeout when sending data");
        report->outcomeText(tr("Timeout when sending data"));
        return LOAD_NO_RESPONSE;
    default:
        // A refused block (7) still closes the transfer on the terminal's side.
        (void)connector.sendEndingFrame();
        report->outcome(dataResult);
        return dataResult;
    }
}
