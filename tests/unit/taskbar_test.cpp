// The taskbar button through whole runs over the fakes, fed as the main
// window feeds it; then prompts that overlap.
#include <gmock/gmock.h>

#include <functional>

#include "core/taskbar_progress.h"
#include "core/run_worker.h"
#include "fakes.h"

namespace cveltrix::test {
namespace {

using testing::ElementsAreArray;

constexpr std::uint64_t kLength = 50000;
const std::wstring kUrl = L"http://127.0.0.1:47321/files/setup.exe";
const std::wstring kTempPath = L"C:\\Tools\\setup.exe_temp";

// Records what the button was told; its states also as a trace without repeats.
class FakeTaskbarButton : public TaskbarButton {
public:
    bool foreground = true;
    std::vector<std::string> states;
    std::vector<std::string> calls;

    void SetState(TaskbarState state) override {
        static constexpr const char* kNames[] = {"none", "normal", "error"};
        const std::string name = kNames[static_cast<int>(state)];
        calls.push_back(name);
        if (states.empty() || states.back() != name) states.push_back(name);
    }
    void SetValue(std::uint64_t done, std::uint64_t total) override {
        calls.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void Flash(bool on) override { calls.push_back(on ? "flash" : "flash off"); }
    bool InForeground() const override { return foreground; }

    // The value shown last before the first call equal to `state`.
    std::string ValueAt(const std::string& state) const {
        std::string value = "none";
        for (const std::string& call : calls) {
            if (call == state) return value;
            if (call.find('/') != std::string::npos) value = call;
        }
        return "never " + state;
    }
    int Count(const std::string& call) const { return static_cast<int>(std::ranges::count(calls, call)); }
};

// The window's part: every box and the picker is a prompt, the bar's range
// starts a transfer, the bar's moves are progress, the end is idle.
class TaskbarFeedingWindow : public FakeRunWindow {
public:
    TaskbarFeedingWindow(EventLog& log, TaskbarProgress& taskbar) : FakeRunWindow(log), taskbar_(taskbar) {}

    int ShowMessage(CatalogueId id, BoxKind kind) override {
        return Prompting<int>(kind, [&] { return FakeRunWindow::ShowMessage(id, kind); });
    }
    void ReportAndRelease(CatalogueId id) override {
        ShowMessage(id, BoxKindOf(id));
        FakeRunWindow::ReportAndRelease(id);
    }
    void SetProgressRange(std::uint64_t length) override {
        FakeRunWindow::SetProgressRange(length);
        taskbar_.TransferStarted(0, length);
    }
    void ShowProgress(const std::wstring& text, std::uint64_t position) override {
        FakeRunWindow::ShowProgress(text, position);
        taskbar_.Progress(position);
    }
    void ResetIdleControls() override {
        FakeRunWindow::ResetIdleControls();
        taskbar_.Idle();
    }
    std::optional<std::wstring> ChooseSaveFolder() override {
        return Prompting<std::optional<std::wstring>>(std::nullopt, [&] { return FakeRunWindow::ChooseSaveFolder(); });
    }

private:
    template <class Answer>
    Answer Prompting(Prompt prompt, const std::function<Answer()>& show) {
        taskbar_.PromptOpening(prompt);
        Answer answer = show();
        taskbar_.PromptClosed(prompt);
        return answer;
    }

    TaskbarProgress& taskbar_;
};

struct RunCase : NamedCase {
    std::function<void(FakeFileSystem&, FakeHttpClient&, FakeRunWindow&)> arrange;
    std::vector<std::string> states;
    // The value shown last before idle: the bar's, or the error's.
    std::string lastValue;
    // Prompts the run shows (each flashes a button in the background).
    int prompts;
};

class TaskbarRunTest : public testing::TestWithParam<std::tuple<bool, RunCase>> {
protected:
    void Run() {
        const auto& [foreground, c] = GetParam();
        button.foreground = foreground;
        window.folderChoice = L"D:\\Installers";
        c.arrange(files, http, window);
        DownloadWorker(env);
    }

    EventLog log;
    FakeHttpClient http{log};
    FakeFileSystem files{log};
    FakeTaskbarButton button;
    TaskbarProgress taskbar{button};
    TaskbarFeedingWindow window{log, taskbar};
    std::wstring chosenFolder;
    WorkerEnvironment env{window, http, files, window.cancelRequested, kUrl, kTempPath, chosenFolder, ProxyConfig{}};
};

TEST_P(TaskbarRunTest, ShowsTheRunAndFlashesOnlyForAnAbsentUser) {
    const auto& [foreground, c] = GetParam();
    Run();
    EXPECT_THAT(button.states, ElementsAreArray(c.states));
    EXPECT_EQ(button.calls.back(), "none");
    EXPECT_EQ(button.ValueAt("none"), c.lastValue);
    EXPECT_EQ(button.Count("flash"), foreground ? 0 : c.prompts);
    EXPECT_EQ(button.Count("flash off"), button.Count("flash"));
}

void ServeWhole(FakeFileSystem&, FakeHttpClient& http, FakeRunWindow&) {
    http.Answer(ProbeAnswer(kLength));
    http.Answer(WholeAnswer(kLength));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TaskbarRunTest,
    testing::Combine(
        testing::Bool(),
        testing::Values(
            RunCase{{"Completion"}, ServeWhole, {"normal", "none"}, "50000/50000", 2},
            RunCase{{"NoFolderChosen"},
                    [](FakeFileSystem& f, FakeHttpClient& h, FakeRunWindow& w) {
                        ServeWhole(f, h, w);
                        w.folderChoice = std::nullopt;
                    },
                    {"normal", "error", "none"}, "50000/50000", 3},
            RunCase{{"Disconnected"},
                    [](FakeFileSystem&, FakeHttpClient& h, FakeRunWindow&) {
                        h.Answer(ProbeAnswer(kLength));
                        h.Answer(With(WholeAnswer(kLength), [](RequestScript& s) { s.dropAfter = 20000; }));
                    },
                    {"normal", "error", "none"}, "20000/50000", 1},
            RunCase{{"ServerUnreachable"},
                    [](FakeFileSystem&, FakeHttpClient& h, FakeRunWindow&) { h.Answer(UnreachableAnswer()); },
                    {"error", "none"}, "1/1", 1},
            RunCase{{"Cancelled"},
                    [](FakeFileSystem& f, FakeHttpClient& h, FakeRunWindow& w) {
                        ServeWhole(f, h, w);
                        w.CancelAfterChunks(2);
                    },
                    {"normal", "none"}, "16384/50000", 0},
            RunCase{{"AlreadyComplete"},
                    [](FakeFileSystem& f, FakeHttpClient& h, FakeRunWindow&) {
                        f.Put(kTempPath, kLength);
                        h.Answer(ProbeAnswer(kLength));
                        h.Answer(PartialAnswer(kLength, kLength));
                    },
                    {"none"}, "none", 3})),
    [](const auto& info) {
        return std::get<1>(info.param).name + (std::get<0>(info.param) ? "InForeground" : "InBackground");
    });

TEST(TaskbarProgressTest, ErrorLastsUntilItsOwnBoxClosesAndFlashUntilTheLastPrompt) {
    FakeTaskbarButton button;
    button.foreground = false;
    TaskbarProgress taskbar(button);
    taskbar.TransferStarted(100, 1000);
    taskbar.PromptOpening(BoxKind::YesNo);  // the Exit question, from the window
    taskbar.Progress(400);
    taskbar.PromptOpening(BoxKind::Ok);  // a failure, from the worker
    taskbar.Progress(500);               // painted late: the red bar stays where it was
    taskbar.PromptClosed(BoxKind::YesNo);
    EXPECT_EQ(button.states.back(), "error");
    EXPECT_EQ(button.Count("flash off"), 0);
    taskbar.PromptClosed(BoxKind::Ok);
    taskbar.Progress(600);  // a failure ends the transfer
    EXPECT_THAT(button.calls, ElementsAreArray({"100/1000", "normal", "flash", "400/1000", "400/1000", "error",
                                                "flash off", "none"}));
    taskbar.Reapply();
    EXPECT_EQ(button.calls.back(), "none");
}

}  // namespace
}  // namespace cveltrix::test
