#include "KLAVInvalidConfigBox.h"

#include <QCoreApplication>
#include <QMessageBox>

void showInvalidConfigBox()
{
    QMessageBox::information(
        nullptr, QCoreApplication::translate("QObject", "KLAV message"),
        QCoreApplication::translate("QObject",
                                    "Config file not valid. Click OK to launch application"),
        QMessageBox::Ok);
}
