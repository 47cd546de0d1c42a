// The message catalogue: every message and caption by number, in English (US)
// and Japanese, plus the language rule that picks the column a user sees.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace cveltrix {

using CatalogueId = std::uint16_t;
// No entry: a failure noted without a message shown.
inline constexpr CatalogueId kNoMessage = 0;

enum class Language { English, Japanese };

// Message entries.
namespace msg {
inline constexpr CatalogueId AlreadyComplete = 3;
inline constexpr CatalogueId ProxyUnreachable = 4;
inline constexpr CatalogueId ProxyAuthFailed = 5;
inline constexpr CatalogueId WriteFailed = 6;
inline constexpr CatalogueId SaveFailed = 7;
inline constexpr CatalogueId DownloadComplete = 8;
inline constexpr CatalogueId CreateFailed = 9;
inline constexpr CatalogueId ServerUnreachable = 10;
inline constexpr CatalogueId ConfirmExit = 11;
inline constexpr CatalogueId AskResume = 12;
inline constexpr CatalogueId AskStartOver = 13;
inline constexpr CatalogueId Disconnected = 14;
inline constexpr CatalogueId NoFolderChosen = 15;
inline constexpr CatalogueId Damaged = 16;
inline constexpr CatalogueId HeldByAnotherCopy = 17;
// Not a box: the progress line while a run waits to try again.
inline constexpr CatalogueId RetryWait = 18;
}  // namespace msg

// Caption and label entries; most share their number with a control.
namespace caption {
inline constexpr CatalogueId Ok = 1;
inline constexpr CatalogueId Cancel = 2;
inline constexpr CatalogueId VersionMenu = 101;
inline constexpr CatalogueId UseProxy = 105;
inline constexpr CatalogueId DescriptionPiece = 130;
inline constexpr CatalogueId ProxyButton = 1012;
inline constexpr CatalogueId NoProxy = 1013;
inline constexpr CatalogueId CancelButton = 1014;
inline constexpr CatalogueId ExitButton = 1015;
inline constexpr CatalogueId Address = 1017;
inline constexpr CatalogueId Port = 1018;
inline constexpr CatalogueId UserName = 1019;
inline constexpr CatalogueId Password = 1020;
inline constexpr CatalogueId StartButton = 58112;
}  // namespace caption

struct CatalogueEntry {
    CatalogueId id;
    const wchar_t* english;
    const wchar_t* japanese;
};

std::span<const CatalogueEntry> CatalogueEntries();

// The entry's text in `language`; an absent id yields an empty text.
std::wstring_view LoadText(CatalogueId id, Language language);

// Japanese UI language selects the Japanese column; every other one English.
Language LanguageForUi(std::uint16_t uiLanguageId);

// What a message box shows besides the text.
enum class BoxKind { Ok, OkInformation, YesNo };
// What a YesNo box returns for Yes (the platform's IDYES).
inline constexpr int kAnswerYes = 6;
enum class BoxIcon { Warning, Information, Question };
BoxIcon IconFor(BoxKind kind);

// The box kind each message is shown with.
BoxKind BoxKindOf(CatalogueId message);

// The progress line of a run that tries again in `seconds`, the `attempt`th
// of `tries` tries: the entry's %1, %2 and %3 filled in.
std::wstring RetryWaitText(Language language, std::uint64_t seconds, int attempt, int tries);

// The folder picker's title, kept out of the catalogue, in `language`.
std::wstring_view FolderPickerTitle(Language language);

// The main window's description, one sentence in `language`: in Japanese
// the file name comes first and the entry's piece follows, in English the
// piece leads. When the whole does not fit on one line it breaks between
// the two parts, never inside the file name.
struct DescriptionParts {
    std::wstring first;
    std::wstring second;
    std::wstring Whole() const { return first + second; }
};
DescriptionParts DescriptionLabelParts(std::wstring_view fileName, Language language);

}  // namespace cveltrix
