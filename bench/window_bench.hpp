#pragma once
// The window's share of a refresh, offscreen: the real main window on a
// state file, its Update command (read on the worker, installed on the
// window's thread), the longest stretch the window's thread is busy during
// one, the results table's model reset and first paint, and one watchdog
// tick. Built only with the Qt application.

#include <memory>
#include <string>

class QApplication;

namespace crunchwatch::bench {

// The Qt application, offscreen unless a platform was chosen; it must go
// before the program's static objects do. It times every event it delivers.
class QtApplication final {
public:
    QtApplication(int& argc, char** argv);
    ~QtApplication();
    QtApplication(const QtApplication&) = delete;
    QtApplication& operator=(const QtApplication&) = delete;

private:
    std::unique_ptr<QApplication> m_app;
};

class OffscreenWindow final {
public:
    explicit OffscreenWindow(const std::string& statePath);
    ~OffscreenWindow();
    OffscreenWindow(const OffscreenWindow&) = delete;
    OffscreenWindow& operator=(const OffscreenWindow&) = delete;

    // The Update command, then the events that follow it until its value is
    // installed and the results table has painted. Returns the longest time,
    // in seconds, that the window's thread spent on one event meanwhile: how
    // long the window could not answer the user.
    double update();
    // Only the results table's model reset (to another value of the same
    // file) and its first paint after it.
    void resetAndPaint();
    // Sorts the results table by `column` as a click on its header does
    // (-1: the file's order); every reset then sorts the rows again.
    void sortResults(int column);
    // One watchdog tick, until its reading is back.
    void tick();

    int refreshCount() const;
    // Paint events the results table's viewport has received so far.
    int resultPaints() const;

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

}  // namespace crunchwatch::bench
