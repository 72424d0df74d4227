#pragma once
// The editor's wait window and frame, as far as a connection uses them:
// records each window's title, total, progress and closing result, and each
// switch of the editor frame.
#include "zar40/comm/transfer_ui.h"

#include <memory>
#include <utility>
#include <vector>

namespace zar40::comm::test {

struct RecordingUi : TransferUi {
    struct Window : WaitWindow {
        explicit Window(RecordingUi *ui) : ui(ui) {}
        void setProgress(int done, int total) override { ui->progress.push_back({done, total}); }
        void close(int result) override { ui->closeResults.push_back(result); }
        RecordingUi *ui;
    };
    std::unique_ptr<WaitWindow> openWaitWindow(const QString &title, int total) override
    {
        titles.push_back(title);
        totals.push_back(total);
        return std::make_unique<Window>(this);
    }
    void setEditorEnabled(bool enabled) override { enabledLog.push_back(enabled); }

    // Enabled until a transfer first disables it.
    bool editorEnabled() const { return enabledLog.empty() || enabledLog.back(); }

    std::vector<QString> titles;
    std::vector<int> totals;
    std::vector<std::pair<int, int>> progress;
    std::vector<int> closeResults;
    std::vector<bool> enabledLog;
};

} // namespace zar40::comm::test
