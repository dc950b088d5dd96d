#pragma once

#include <QWidget>

// Main window of the graphical mode.
class KLAVInterface : public QWidget {
    Q_OBJECT
public:
    explicit KLAVInterface(QWidget *parent = nullptr);
    ~KLAVInterface() override;
};
