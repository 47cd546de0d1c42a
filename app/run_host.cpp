#include "app/run_host.h"

#include "core/download_url.h"
#include "core/paths.h"
#include "core/run_start.h"
#include "core/run_worker.h"
#include "platform/folder_picker_win.h"
#include "platform/http_wininet.h"
#include "platform/module_win.h"
#include "platform/pace_win.h"
#include "platform/sha256_bcrypt.h"
#include "platform/signature_win.h"
#include "ui/dialog_texts.h"

namespace cveltrix {
namespace {

// The window's own message and timer numbers start at WM_APP + 1 and 1.
constexpr UINT kServeRun = WM_APP + 16;
constexpr UINT_PTR kGiveUpTimer = 16;
constexpr DWORD kCancelGraceMs = 200;
// A worker between chunks ends well within this after Cancel; one that has
// not is stuck in a network call and is given up on, so Cancel always takes
// effect within a second.
constexpr UINT kGiveUpAfterMs = 300;

// What a worker owns: the run's guard (shared with the window), and its
// own file system and hasher, which outlive the window if need be.
struct WorkerStart {
    std::shared_ptr<RunGuard> run;
    win::WinFileSystem files;
    win::BCryptFileHasher hasher;
};

std::wstring TempPath() { return BuildTempPath(win::ExecutablePath(), DownloadUrl); }

}  // namespace

RunHost::RunHost(Screen& screen)
    : screen_(screen),
      desk_(std::make_shared<RunDesk>(
          *this, [this] { ::PostMessageW(screen_.Window(), kServeRun, 0, 0); },
          [](const std::wstring& line) { win::WriteDebugLine(line); })) {}

RunHost::~RunHost() { desk_->Close(); }

bool RunHost::OnMessage(UINT message, WPARAM wParam) {
    if (message == kServeRun) {
        desk_->Serve();
        return true;
    }
    if (message == WM_TIMER && wParam == kGiveUpTimer) {
        GiveUpStuckRun();
        return true;
    }
    return false;
}

bool RunHost::Start(MessageBoxes& ownBoxes) {
    desk_->OnWindowThread();
    // The last run is on its way out (its end step after a released
    // failure): this Start goes ahead once it has ended.
    if (desk_->QueueStart()) return true;
    switch (desk_->State()) {
        case RunState::Idle: return PrepareStart(ownBoxes, files_, TempPath()) && !Leaving() && Launch();
        case RunState::Closing: return false;
        // A click posted while a run goes on (the button is disabled then):
        // that run stays, and the window stays busy with it.
        default: return true;
    }
}

bool RunHost::Launch() {
    // A give-up pending from the last Cancel is not for this run.
    ::KillTimer(screen_.Window(), kGiveUpTimer);
    auto start = std::make_unique<WorkerStart>();
    start->run = std::make_shared<RunGuard>(desk_, start->files, &start->hasher);
    auto thread = win::WorkerThread::CreateSuspended(&RunHost::RunWorker, start.get());
    if (!thread) return false;
    desk_->RunStarted(start->run);
    start.release();  // the worker owns it now
    workerThread = std::move(thread);
    workerThread->Resume();
    return true;
}

unsigned __stdcall RunHost::RunWorker(void* argument) {
    const std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
    RunGuard& run = *start->run;
    win::WinInetClient http(SilenceLimitSeconds);
    // The worker's own: the picker's answer goes straight to the save step.
    std::wstring chosenFolder;
    win::WinTrustVerifier verifier;
    win::PollingPause pause;
    // This thread's own state: a run given up on while stuck in a call
    // keeps the machine awake until the call returns and the run ends.
    win::ThreadWakefulness wakefulness;
    WorkerEnvironment env{run,         http, run, run.CancelFlag(), DownloadUrl, TempPath(), chosenFolder,
                          ProcessProxyConfig(), &run, ParseSha256(DownloadSha256), &verifier, DownloadSigner,
                          &pause, &wakefulness, static_cast<int>(DownloadRetries), UiLanguage(), win::WriteDebugLine};
    return static_cast<unsigned>(DownloadWorker(env));
}

void RunHost::Cancel() {
    desk_->Cancel();
    // The worker between chunks ends within this and the window goes idle
    // by the run's own end, without a give-up.
    ::Sleep(kCancelGraceMs);
    ::SetTimer(screen_.Window(), kGiveUpTimer, kGiveUpAfterMs, nullptr);
}

void RunHost::Leave() {
    const RunState state = desk_->State();
    if (state != RunState::Idle && state != RunState::Closing) {
        desk_->Cancel();
        // The worker finishes the chunk in hand and closes its file.
        ::Sleep(kCancelGraceMs);
    }
    desk_->Close();
    DismissPrompts();
}

// A box or picker closed this way returns as if dismissed; the desk drops
// the run's answer, and the window's own boxes see Leaving(). Each ends
// its modal loop once this message returns, so nothing here waits on them.
void RunHost::DismissPrompts() {
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM owner) -> BOOL {
            wchar_t className[8] = {};
            ::GetClassNameW(window, className, 8);
            if (::GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
                std::wstring_view(className) == L"#32770") {
                ::EndDialog(window, IDCANCEL);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(screen_.Window()));
}

void RunHost::UserBoxClosed() {
    desk_->UserBoxClosed();
    if (desk_->TakeQueuedStart()) screen_.StartQueued();
}

// The worker is left to end on its own; the temp file keeps what it had
// received, and the window is idle for the next Start.
void RunHost::GiveUpStuckRun() {
    const GiveUpOutcome outcome = desk_->GiveUpStuckRun();
    if (outcome == GiveUpOutcome::Later) return;
    ::KillTimer(screen_.Window(), kGiveUpTimer);
    if (outcome == GiveUpOutcome::Idle) EndRun();
}

// The run's end, taken from the worker or decided by a give-up: the one
// place where the window becomes idle after a run.
void RunHost::EndRun() {
    desk_->OnWindowThread();
    screen_.ShowRunEnded();
    workerThread.reset();
    if (desk_->TakeQueuedStart()) screen_.StartQueued();
}

template <class Show>
auto RunHost::RunPrompt(Prompt prompt, Show show) {
    desk_->OnWindowThread();
    screen_.PaintProgress(true);
    screen_.PromptOpening(prompt);
    const auto answer = show();
    screen_.PromptClosed(prompt);
    return answer;
}

int RunHost::ShowMessage(CatalogueId id, BoxKind kind) {
    return RunPrompt(kind, [&] { return ShowCatalogueMessage(screen_.Window(), id, kind); });
}

void RunHost::ReportAndRelease(CatalogueId id) {
    if (ShowMessage(id, BoxKindOf(id))) screen_.EnableIdleButtons();
}

void RunHost::SetProgressRange(std::uint64_t length) { screen_.ApplyProgressRange(length); }

// The window paints the newest progress, taken from the desk, at its own pace.
void RunHost::ShowProgress(const std::wstring&, std::uint64_t) { screen_.PaintProgress(false); }

void RunHost::ResetIdleControls() { EndRun(); }

void RunHost::YieldTime() { ::Sleep(0); }

void RunHost::NoteFailure(CatalogueId id, const std::wstring& reason) {
    win::WriteDebugLine((id == kNoMessage ? std::wstring(L"no message") : L"message " + std::to_wstring(id)) + L": " +
                        reason);
}

std::optional<std::wstring> RunHost::ChooseSaveFolder() {
    screen_.StartCom();
    return RunPrompt(std::nullopt, [&] {
        return win::ChooseFolder(screen_.Window(), std::wstring(FolderPickerTitle(UiLanguage())));
    });
}

}  // namespace cveltrix
