#include "core/catalogue.h"

#include <algorithm>
#include <array>

namespace cveltrix {
namespace {

// Texts are exact, trailing and doubled blanks and spelling included.
constexpr std::array kEntries{
    CatalogueEntry{msg::AlreadyComplete, L"Download has already been completed. ",
                   L"すでにダウンロードが完了しています。"},
    CatalogueEntry{msg::ProxyUnreachable,
                   L"The proxy server could not be connected.\nPlease confirm  proxy server setting.",
                   L"プロキシサーバーに接続できませんでした。設定を確認してください。"},
    CatalogueEntry{msg::ProxyAuthFailed,
                   L"The authentication of the proxy server was failed.\nPlease confirm proxy server setting.",
                   L"プロキシサーバーの認証に失敗しました。ログイン情報を確認してください。"},
    CatalogueEntry{msg::WriteFailed, L"It failed in writing the file. ", L"ファイルの書き込みに失敗しました。"},
    CatalogueEntry{msg::SaveFailed, L"Failed to save the file.", L"ファイルの保存に失敗しました。"},
    CatalogueEntry{msg::DownloadComplete, L"Download is complete, click OK to select a saving folder.",
                   L"ソフトウェアのダウンロードが終了しました。\nダウンロードファイルを格納するフォルダを選択してください。"},
    CatalogueEntry{msg::CreateFailed, L"It failed in making the file. ", L"ファイルの作成に失敗しました。"},
    CatalogueEntry{msg::ServerUnreachable,
                   L"It was not possible to connect it with the server. Please confirm the connection. ",
                   L"サーバーに接続できませんでした。接続を確認してください。"},
    CatalogueEntry{msg::ConfirmExit, L"Exit ?", L"終了しますか？"},
    CatalogueEntry{msg::AskResume, L"Do you want to continue downloading the remaining files?",
                   L"未完了のダウンロードファイルが見つかりました。\nダウンロードを継続しますか？"},
    CatalogueEntry{msg::AskStartOver, L"Delete remaining dowloaded files and retry at the beginning.",
                   L"未完了のダウンロードファイルを破棄して、\n最初からダウンロードをやり直しますか？"},
    CatalogueEntry{msg::Disconnected, L"The connection was disconnected. ", L"接続が切れました。"},
    CatalogueEntry{msg::NoFolderChosen,
                   L"The selected folder may not be able to save.\nSelect an another folder.",
                   L"保存先が正しく選択されませんでした。"},
    CatalogueEntry{msg::Damaged, L"The downloaded file is damaged. Please download it again.",
                   L"ダウンロードしたファイルが破損しています。もう一度ダウンロードしてください。"},
    CatalogueEntry{msg::HeldByAnotherCopy, L"Another copy of this tool is downloading this file.",
                   L"このツールがもう一つ起動していて、このファイルをダウンロードしています。"},
    // Short enough for the progress line with a wait of two digits.
    CatalogueEntry{msg::RetryWait, L"Interrupted. Trying again in %1 s (%2 of %3)",
                   L"中断しました。%1 秒後に再試行します（%3 回中 %2 回目）"},
    CatalogueEntry{caption::Ok, L"OK", L"OK"},
    CatalogueEntry{caption::Cancel, L"Cancel", L"キャンセル"},
    CatalogueEntry{caption::VersionMenu, L"Version information", L"バージョン情報"},
    CatalogueEntry{caption::UseProxy, L"Use proxy server", L"使用する"},
    CatalogueEntry{caption::DescriptionPiece, L"Downloading the ", L"をダウンロードします。"},
    CatalogueEntry{caption::ProxyButton, L"Proxy Server Setting", L"プロキシ設定"},
    CatalogueEntry{caption::NoProxy, L"Do not use proxy server", L"使用しない"},
    CatalogueEntry{caption::CancelButton, L"Cancel", L"キャンセル"},
    CatalogueEntry{caption::ExitButton, L"Exit", L"終了"},
    CatalogueEntry{caption::Address, L"Address", L"アドレス"},
    CatalogueEntry{caption::Port, L"Port", L"ポート"},
    CatalogueEntry{caption::UserName, L"User Name", L"ユーザー名"},
    CatalogueEntry{caption::Password, L"Password", L"パスワード"},
    CatalogueEntry{caption::StartButton, L"Download", L"ダウンロード"},
};

constexpr std::uint16_t kPrimaryLanguageMask = 0x3FF;
constexpr std::uint16_t kJapanese = 0x11;

}  // namespace

std::span<const CatalogueEntry> CatalogueEntries() { return kEntries; }

std::wstring_view LoadText(CatalogueId id, Language language) {
    const auto found = std::find_if(kEntries.begin(), kEntries.end(),
                                    [id](const CatalogueEntry& e) { return e.id == id; });
    if (found == kEntries.end()) return {};
    return language == Language::Japanese ? found->japanese : found->english;
}

Language LanguageForUi(std::uint16_t uiLanguageId) {
    return (uiLanguageId & kPrimaryLanguageMask) == kJapanese ? Language::Japanese : Language::English;
}

BoxIcon IconFor(BoxKind kind) {
    switch (kind) {
        case BoxKind::OkInformation: return BoxIcon::Information;
        case BoxKind::YesNo: return BoxIcon::Question;
        case BoxKind::Ok: break;
    }
    return BoxIcon::Warning;
}

BoxKind BoxKindOf(CatalogueId message) {
    switch (message) {
        case msg::AlreadyComplete:
        case msg::DownloadComplete: return BoxKind::OkInformation;
        case msg::ConfirmExit:
        case msg::AskResume:
        case msg::AskStartOver: return BoxKind::YesNo;
        default: return BoxKind::Ok;
    }
}

std::wstring RetryWaitText(Language language, std::uint64_t seconds, int attempt, int tries) {
    std::wstring text(LoadText(msg::RetryWait, language));
    const std::wstring values[] = {std::to_wstring(seconds), std::to_wstring(attempt), std::to_wstring(tries)};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::wstring mark = L"%" + std::to_wstring(i + 1);
        if (const auto at = text.find(mark); at != std::wstring::npos) text.replace(at, mark.size(), values[i]);
    }
    return text;
}

std::wstring_view FolderPickerTitle(Language language) {
    return language == Language::Japanese ? L"ダウンロードしたファイルの保存先を選択してください。"
                                          : L"Select the folder";
}

// The piece and its word order come from one column, so the sentence is
// never English words in Japanese order or the reverse.
DescriptionParts DescriptionLabelParts(std::wstring_view fileName, Language language) {
    const std::wstring piece(LoadText(caption::DescriptionPiece, language));
    if (language == Language::Japanese) return {std::wstring(fileName), piece};
    return {piece, std::wstring(fileName)};
}

}  // namespace cveltrix
