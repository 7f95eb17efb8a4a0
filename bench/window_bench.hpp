#pragma once
// The window's share of a refresh, offscreen: the real main window on a
// state file, its Update command, the results table's model reset and first
// paint, and one watchdog tick. Built only with the Qt application.

#include <memory>
#include <string>

class QApplication;

namespace crunchwatch::bench {

// The Qt application, offscreen unless a platform was chosen; it must go
// before the program's static objects do.
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

    // The Update command (a full refresh through the controller, both models
    // reset), then the events that follow it until the results table has
    // painted.
    void update();
    // Only the results table's model reset and its first paint after it.
    void resetAndPaint();
    // Sorts the results table by `column` as a click on its header does
    // (-1: the file's order); every reset then sorts the rows again.
    void sortResults(int column);
    // One watchdog tick.
    void tick();

    int refreshCount() const;
    // Paint events the results table's viewport has received so far.
    int resultPaints() const;

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};

}  // namespace crunchwatch::bench
