#pragma once
// Drives the main window from a test: fresh configuration beside the test
// executable, bounded waits on the event loop, and the closing of modal boxes
// as a user would close them (a click on their button).

#include <QIcon>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QFileDialog;
class QWidget;

namespace WindowDriver {

// Writes the default configuration file beside the executable and reads it
// into g_config (and g_recentPath).
void resetConfig();
// Path of that configuration file.
QString configPath();
// The value of its first "&RecentPath=" line; null when there is none.
QString recentPathLine();

// Runs the event loop until done() or timeoutMs; returns done().
bool waitUntil(const std::function<bool()> &done, int timeoutMs);

// Runs open(), which shows Qt's modal file dialog, and hands the dialog to
// drive() until drive() returns true (having closed it). A modal window still
// up after 20 s is closed, so a dialog the test cannot drive fails the test
// instead of hanging it; false then.
bool driveFileDialog(const std::function<void()> &open,
                     const std::function<bool(QFileDialog *)> &drive);

} // namespace WindowDriver

// While it lives, watches for modal message boxes; for each one it records
// what the box shows, lets inspect() look at the world while the box is up,
// then clicks the button that answer() names (the first button when there is
// no answer or it names none of the box's buttons). An answer of NoButton
// leaves the box up, as a user who looks away would.
class ModalBoxCloser : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        bool hasParent = false;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QIcon windowIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    explicit ModalBoxCloser(std::function<void(QMessageBox *)> inspect = {});
    // The button to click on each box; set before a box is shown.
    void setAnswer(std::function<QMessageBox::StandardButton(const Box &)> answer)
    {
        answer_ = std::move(answer);
    }

    const std::vector<Box> &boxes() const { return boxes_; }
    // Waits until count boxes have been closed.
    bool waitForBoxes(size_t count, int timeoutMs) const;

private:
    void poll();

    std::function<void(QMessageBox *)> inspect_;
    std::function<QMessageBox::StandardButton(const Box &)> answer_;
    std::vector<Box> boxes_;
    QPointer<QMessageBox> leftUp_;
    QTimer timer_;
};
