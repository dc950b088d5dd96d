#include "KLAVInterface.h"

#include "app/KLAVConfig.h"
#include "app/KLAVLog.h"

KLAVInterface::KLAVInterface(QWidget *parent) : QWidget(parent)
{
    writeLog(LOG_ENTER, "KLAVInterface::KLAVInterface");
    setFixedSize(570, 430);
    setWindowTitle(QString::fromStdString(g_config.ApplicationName));
    writeLog(LOG_EXIT, "KLAVInterface::KLAVInterface");
}

KLAVInterface::~KLAVInterface()
{
    closeLogFile();
}
