// The main window's side of a download run: launching the worker, Start,
// Cancel, the give-up and the window's going, and what the run asks and
// tells, done on the window thread. The window's controls stay with the
// window (RunHost::Screen); the state and its rules are the run desk's, in
// core, and every call of the worker passes the desk's gate first.
//
// How the two threads meet, message by message:
// - kServeRun (posted by any thread through the desk's wake): the window
//   thread takes what waits on the desk. The tells (the length, the newest
//   progress, the run's end) are taken at once, even inside a box's modal
//   loop; progress is painted at most every few hundred milliseconds (the
//   window's paint timer). An ask (a run's box, the picker) waits while a
//   box of the user's own is open, and the worker waits for its answer.
// - kGiveUpTimer (set by Cancel): a run that has not ended by then is given
//   up, unless one of its boxes is on screen or message 8 was answered.
// - WM_CLOSE, Esc, Exit's Yes and the session's end: the run is given up at
//   once and every box and picker of the window's is closed as if
//   dismissed; the window thread never waits for the worker.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/run_desk.h"
#include "core/run_guard.h"
#include "core/run_window.h"
#include "core/taskbar_progress.h"
#include "platform/files_win.h"
#include "platform/thread_win.h"

namespace cveltrix {

class RunHost final : public RunWindow {
public:
    // What a run needs of the window's controls, on the window thread.
    class Screen {
    public:
        virtual ~Screen() = default;
        virtual HWND Window() const = 0;
        virtual void ApplyProgressRange(std::uint64_t length) = 0;
        // Paints the newest progress (from NewestProgress()); `now` even
        // when the last paint was a moment ago.
        virtual void PaintProgress(bool now) = 0;
        virtual void PromptOpening(Prompt prompt) = 0;
        virtual void PromptClosed(Prompt prompt) = 0;
        virtual void StartCom() = 0;
        // Start and Proxy on, Cancel off.
        virtual void EnableIdleButtons() = 0;
        // The run is over; the controls show its last state, idle.
        virtual void ShowRunEnded() = 0;
        // A queued Start goes ahead.
        virtual void StartQueued() = 0;
    };

    // Made on the window thread, which all its methods need.
    explicit RunHost(Screen& screen);
    // The window goes: see RunDesk::Close.
    ~RunHost() override;

    // Its own messages and timers, from the window's procedure: true when
    // `message` was one of them.
    bool OnMessage(UINT message, WPARAM wParam);

    // Start: after the Start checks (their boxes through `ownBoxes`), a new
    // worker; while the last run still ends, queued behind it. False when
    // nothing starts or waits.
    bool Start(MessageBoxes& ownBoxes);
    void Cancel();
    // Esc, the close box, Exit and the session's end: the run is
    // cancelled, the worker gets a moment to finish its chunk and is then
    // given up, and every box or picker still open is dismissed.
    void Leave();
    // The window is going: the window's own boxes are not shown any more.
    bool Leaving() const { return desk_->State() == RunState::Closing; }
    // A box of the window's own; a run's ask waits meanwhile, and a queued
    // Start too.
    void UserBoxOpening() { desk_->UserBoxOpening(); }
    void UserBoxClosed();
    ToldProgress NewestProgress() { return desk_->TakeProgress(); }

    // RunWindow: what the run asks and tells, on the window thread, once
    // the desk admitted it (the failure line and the pause on the worker's).
    int ShowMessage(CatalogueId id, BoxKind kind) override;
    void ReportAndRelease(CatalogueId id) override;
    void SetProgressRange(std::uint64_t length) override;
    void ShowProgress(const std::wstring& text, std::uint64_t position) override;
    void ResetIdleControls() override;
    void YieldTime() override;
    std::optional<std::wstring> ChooseSaveFolder() override;
    void NoteFailure(CatalogueId id, const std::wstring& reason) override;

private:
    bool Launch();
    static unsigned __stdcall RunWorker(void* argument);
    void GiveUpStuckRun();
    void EndRun();
    // Every box and picker owned by the window, modal on this thread.
    void DismissPrompts();
    template <class Show>
    auto RunPrompt(Prompt prompt, Show show);
    // A catalogue message the run asked for; 0 when it was not shown.
    int RunBox(CatalogueId id, BoxKind kind);

    Screen& screen_;
    // Shared with the runs' guards: a given-up worker may outlive the window.
    std::shared_ptr<RunDesk> desk_;
    // The Start checks' view of the temp file, window thread only; each
    // worker has its own.
    win::WinFileSystem files_;
    std::unique_ptr<win::WorkerThread> workerThread;
};

}  // namespace cveltrix
