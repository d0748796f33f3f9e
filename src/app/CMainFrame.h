#pragma once

#include <QMainWindow>

#include <functional>

namespace plyfold {

// The main window. For now a plain frame with the program's title, icon, minimum size and
// accelerators; each accelerator sends its command id to `commandSink`.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    using CommandSink = std::function<void(int commandId)>;

    explicit CMainFrame(CommandSink commandSink, QWidget* parent = nullptr);
    ~CMainFrame() override;

    static constexpr int kMinWidth = 400;
    static constexpr int kMinHeight = 200;

private:
    void InstallAccelerators();

    CommandSink m_commandSink;
};

} // namespace plyfold
