#pragma once

#include "load/KLAVLoadReport.h"
#include "load/KLAVUsbConnector.h"

#include <QString>
#include <QThread>

#include <atomic>

// Runs one whole load: for the window on its own worker thread, reporting by
// its signals; for the console through a direct operate() call on the calling
// thread, reporting to the report its caller hands it.
class KLAVThread : public QThread, private KLAVLoadReport {
    Q_OBJECT
public:
    // report: where the load shows its lines, progress and outcome; nullptr
    // for this thread's own signals. A report handed in outlives the thread.
    explicit KLAVThread(KLAVUsbConnector connector, KLAVLoadReport *report = nullptr);
    ~KLAVThread() override;

    // The whole load; returns its result code (9 never leaves it).
    int operate();

signals:
    int threadFeedback(int messageCode);
    QString threadFeedback_NACK(QString message);
    int threadProgress(int progress);

public slots:
    void loadCancel();

protected:
    void run() override;

private:
    int finishDataPhase(int dataResult, const QString &nackText);

    // The signals' report: lines are the console's only.
    void line(const char *) override {}
    void progress(int percent) override;
    void outcome(int code) override;
    void outcomeText(const QString &text) override;

    KLAVUsbConnector connector;
    KLAVLoadReport *report;
    std::atomic<bool> cancelRequested{false};
};
