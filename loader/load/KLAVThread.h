#pragma once

#include "load/KLAVUsbConnector.h"

#include <QString>
#include <QThread>

#include <atomic>

// Runs one whole load: in graphical mode on its own worker thread, reporting
// by signals; in console mode through a direct operate() call on the calling
// thread, printing its lines instead.
class KLAVThread : public QThread {
    Q_OBJECT
public:
    explicit KLAVThread(KLAVUsbConnector connector);
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
    void reportProgress(int &lastPrinted);
    void print(const char *format, ...) const;

    KLAVUsbConnector connector;
    std::atomic<bool> cancelRequested{false};
};
