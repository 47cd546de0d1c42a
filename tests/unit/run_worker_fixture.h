// A download run over the fakes, with the checks every run must pass
// whatever path it takes.
#pragma once

#include <gtest/gtest.h>

#include <tuple>

#include "core/http_headers.h"
#include "core/paths.h"
#include "core/run_guard.h"
#include "core/run_worker.h"
#include "fakes.h"

namespace cveltrix::test {

inline const std::wstring kUrl =
    L"http://127.0.0.1:47321/archives/043/Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe";
inline const std::wstring kTempPath = L"C:\\Tools\\Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe_temp";
inline const std::wstring kFolder = L"D:\\Installers";
inline const std::wstring kDestination = L"D:\\Installers\\Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe";

// Seven reads of at most 8192 bytes.
inline constexpr std::uint64_t kLength = 50000;
inline constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

class WorkerTest : public testing::Test {
protected:
    WorkerTest() {
        window.folderChoice = kFolder;
        window.onCancel = [this] { desk->Cancel(); };
        desk->RunStarted(guard);
        env.pause = &pause;
        env.wakefulness = &wakefulness;
        env.trace = [this](const std::wstring& line) { phases.push_back(line); };
    }

    // Every run ends idle exactly once, as its very last act, with every
    // handle released and no byte deleted.
    void TearDown() override {
        EXPECT_EQ(desk->State(), RunState::Idle);
        EXPECT_EQ(window.Resets(), 1);
        EXPECT_EQ(FindLastEvent(log, "reset"), static_cast<int>(log.size()) - 1);
        EXPECT_EQ(http.LiveRequests(), 0);
        EXPECT_EQ(http.LiveSessions(), 0);
        EXPECT_EQ(http.OrphanedRequests(), 0);
        EXPECT_EQ(http.PointlessResends(), 0);
        EXPECT_EQ(files.deletedBytes, 0u);
        for (const auto& [path, data] : files.files) EXPECT_EQ(data.openHandles, 0);
        EXPECT_EQ(wakefulness.held, 0);
    }

    void Run() { EXPECT_EQ(DownloadWorker(env), 0); }

    void UseProxy(std::wstring userName = L"", std::wstring password = L"") {
        env.settings.mode = ProxyConfig::kUseProxy;
        env.settings.address = L"127.0.0.1";
        env.settings.port = L"3128";
        env.settings.userName = std::move(userName);
        env.settings.password = std::move(password);
    }

    // Every request went the same way, to the download URL.
    void ExpectEveryRequestThrough(std::optional<std::wstring> proxyText) const {
        ASSERT_FALSE(http.Opened().empty());
        for (const OpenedUrl& opened : http.Opened()) {
            EXPECT_EQ(opened.throughProxy, proxyText.has_value());
            EXPECT_EQ(opened.proxyText, proxyText.value_or(L""));
            EXPECT_EQ(opened.url, kUrl);
        }
    }

    // The answers to the requests in order: usually the probe's HEAD, then the transfer.
    template <class... Scripts>
    void Serve(Scripts... answers) {
        (http.Answer(std::move(answers)), ...);
    }

    bool Saved(std::uint64_t length) const {
        return !files.Has(kTempPath) && files.Has(kDestination) && files.SizeOf(kDestination) == length &&
               files.HoldsPattern(kDestination);
    }

    // The Zone.Identifier text written beside the saved file; empty when none.
    std::wstring Mark() const {
        const auto found = files.texts.find(kDestination + L":Zone.Identifier");
        return found == files.texts.end() ? L"" : found->second;
    }

    // An empty temp file is not left behind.
    bool TempHolds(std::uint64_t size) const {
        if (size == 0) return !files.Has(kTempPath);
        return files.Has(kTempPath) && files.SizeOf(kTempPath) == size && files.HoldsPattern(kTempPath);
    }

    // The temp file began with the version `validator` names, of `length` bytes.
    void KeepVersion(const std::optional<std::wstring>& validator, std::uint64_t length = kLength) {
        files.texts[ValidatorPathFor(kTempPath)] = FileVersionText({length, validator});
    }
    std::optional<FileVersion> KeptVersion() const {
        const auto found = files.texts.find(ValidatorPathFor(kTempPath));
        return found == files.texts.end() ? std::nullopt : ParseFileVersion(found->second);
    }

    EventLog log;
    FakeHttpClient http{log};
    FakeFileSystem files{log};
    FakeRunWindow window{log};
    // The window's desk and the run's guard, wired as the window wires them;
    // the test's thread stands for both the window's and the worker's.
    std::shared_ptr<RunDesk> desk = std::make_shared<RunDesk>(window, [] {}, [](const std::wstring&) {});
    std::shared_ptr<RunGuard> guard = std::make_shared<RunGuard>(desk, files);
    FakePause pause{log};
    FakeWakefulness wakefulness{log};
    std::vector<std::wstring> phases;
    std::wstring chosenFolder;
    WorkerEnvironment env{*guard, http, *guard, guard->CancelFlag(), kUrl, kTempPath, chosenFolder, ProxyConfig{}};
};

// What holds for both ways to the server is tested once each way.
enum class Way { Direct, ThroughProxy };

class EitherWayTest : public WorkerTest, public testing::WithParamInterface<Way> {
protected:
    void SetUp() override {
        if (GetParam() == Way::ThroughProxy) UseProxy();
    }
};

template <class Case>
class BothWaysTest : public WorkerTest, public testing::WithParamInterface<std::tuple<Way, Case>> {
protected:
    void SetUp() override {
        if (std::get<0>(this->GetParam()) == Way::ThroughProxy) UseProxy();
    }
    const Case& Param() const { return std::get<1>(this->GetParam()); }
};

inline std::string WayLabel(Way way) { return way == Way::Direct ? "Direct" : "ThroughProxy"; }
inline std::string WayName(const testing::TestParamInfo<Way>& info) { return WayLabel(info.param); }

template <class... Cases>
auto BothWays(Cases... cases) {
    return testing::Combine(testing::Values(Way::Direct, Way::ThroughProxy), testing::Values(cases...));
}

template <class Case>
std::string WayAndCaseName(const testing::TestParamInfo<std::tuple<Way, Case>>& info) {
    return std::get<1>(info.param).name + WayLabel(std::get<0>(info.param));
}

using Shown = FakeRunWindow::Shown;
inline const Shown kCompleteShown{8, BoxKind::OkInformation};

inline std::wstring InternetMark(const std::wstring& hostUrl) {
    return L"[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=" + hostUrl + L"\r\n";
}

}  // namespace cveltrix::test
