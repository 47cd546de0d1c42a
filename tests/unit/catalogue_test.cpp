#include "core/catalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

namespace cveltrix {
namespace {

using testing::UnorderedElementsAreArray;

TEST(CatalogueTest, HoldsExactlyTheMessagesAndCaptionsOfTheTool) {
    std::vector<CatalogueId> ids;
    for (const CatalogueEntry& entry : CatalogueEntries()) ids.push_back(entry.id);
    const std::vector<CatalogueId> expected{3,   4,   5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15, 16,
                                            17,  18,  1,   2,    101,  105,  130,  1012, 1013, 1014, 1015, 1017, 1018, 1019,
                                            1020, 58112};
    EXPECT_THAT(ids, UnorderedElementsAreArray(expected));
}

TEST(CatalogueTest, EveryEntryHasBothColumnsAndLoadTextReturnsThem) {
    for (const CatalogueEntry& entry : CatalogueEntries()) {
        SCOPED_TRACE(entry.id);
        EXPECT_FALSE(std::wstring_view(entry.english).empty());
        EXPECT_FALSE(std::wstring_view(entry.japanese).empty());
        EXPECT_EQ(LoadText(entry.id, Language::English), entry.english);
        EXPECT_EQ(LoadText(entry.id, Language::Japanese), entry.japanese);
    }
}

TEST(CatalogueTest, UnknownIdsLoadAsEmptyText) {
    for (CatalogueId id : {0, 19, 102, 1003, 1016, 65535}) {
        EXPECT_TRUE(LoadText(static_cast<CatalogueId>(id), Language::English).empty()) << id;
        EXPECT_TRUE(LoadText(static_cast<CatalogueId>(id), Language::Japanese).empty()) << id;
    }
}

struct ExactText {
    CatalogueId id;
    Language language;
    std::wstring_view text;
};

class CatalogueTextTest : public testing::TestWithParam<ExactText> {};

// Trailing and doubled blanks, misspellings and line breaks belong to the
// texts; comparing whole views catches any of them lost.
TEST_P(CatalogueTextTest, IsExactToTheLastBlank) {
    EXPECT_EQ(LoadText(GetParam().id, GetParam().language), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CatalogueTextTest,
    testing::Values(
        ExactText{3, Language::English, L"Download has already been completed. "},
        ExactText{4, Language::English,
                  L"The proxy server could not be connected.\nPlease confirm  proxy server setting."},
        ExactText{5, Language::English,
                  L"The authentication of the proxy server was failed.\nPlease confirm proxy server setting."},
        ExactText{6, Language::English, L"It failed in writing the file. "},
        ExactText{9, Language::English, L"It failed in making the file. "},
        ExactText{10, Language::English,
                  L"It was not possible to connect it with the server. Please confirm the connection. "},
        ExactText{11, Language::English, L"Exit ?"},
        ExactText{13, Language::English, L"Delete remaining dowloaded files and retry at the beginning."},
        ExactText{14, Language::English, L"The connection was disconnected. "},
        ExactText{15, Language::English, L"The selected folder may not be able to save.\nSelect an another folder."},
        ExactText{17, Language::English, L"Another copy of this tool is downloading this file."},
        ExactText{18, Language::English, L"Interrupted. Trying again in %1 s (%2 of %3)"},
        ExactText{18, Language::Japanese, L"中断しました。%1 秒後に再試行します（%3 回中 %2 回目）"},
        ExactText{130, Language::English, L"Downloading the "},
        ExactText{58112, Language::English, L"Download"},
        ExactText{3, Language::Japanese, L"すでにダウンロードが完了しています。"},
        ExactText{8, Language::Japanese,
                  L"ソフトウェアのダウンロードが終了しました。\nダウンロードファイルを格納するフォルダを選択してください。"},
        ExactText{11, Language::Japanese, L"終了しますか？"},
        ExactText{12, Language::Japanese, L"未完了のダウンロードファイルが見つかりました。\nダウンロードを継続しますか？"},
        ExactText{13, Language::Japanese, L"未完了のダウンロードファイルを破棄して、\n最初からダウンロードをやり直しますか？"},
        ExactText{130, Language::Japanese, L"をダウンロードします。"},
        ExactText{1, Language::Japanese, L"OK"},
        ExactText{2, Language::Japanese, L"キャンセル"},
        ExactText{1019, Language::Japanese, L"ユーザー名"},
        ExactText{58112, Language::Japanese, L"ダウンロード"}));

struct LanguageCase {
    std::uint16_t id;
    bool japanese;
};

class UiLanguageTest : public testing::TestWithParam<LanguageCase> {};

TEST_P(UiLanguageTest, OnlyAJapanesePrimaryLanguageSelectsTheJapaneseColumn) {
    EXPECT_EQ(LanguageForUi(GetParam().id), GetParam().japanese ? Language::Japanese : Language::English);
}

// Sublanguage bits (the top six) never matter; a mask of the low byte only
// would take 0x0111 for Japanese.
INSTANTIATE_TEST_SUITE_P(Locale, UiLanguageTest,
                         testing::Values(LanguageCase{0x0411, true}, LanguageCase{0x0011, true},
                                         LanguageCase{0x0811, true}, LanguageCase{0xFC11, true},
                                         LanguageCase{0x0409, false}, LanguageCase{0x0407, false},
                                         LanguageCase{0x0412, false}, LanguageCase{0x0111, false},
                                         LanguageCase{0x0000, false}));

TEST(MessageBoxTest, IconFollowsTheBoxKind) {
    EXPECT_EQ(IconFor(BoxKind::Ok), BoxIcon::Warning);
    EXPECT_EQ(IconFor(BoxKind::OkInformation), BoxIcon::Information);
    EXPECT_EQ(IconFor(BoxKind::YesNo), BoxIcon::Question);
}

TEST(MessageBoxTest, EachMessageHasItsBoxKind) {
    const std::set<CatalogueId> information{3, 8};
    const std::set<CatalogueId> questions{11, 12, 13};
    for (CatalogueId id = 3; id <= 17; ++id) {
        const BoxKind expected = information.contains(id) ? BoxKind::OkInformation
                                 : questions.contains(id) ? BoxKind::YesNo
                                                          : BoxKind::Ok;
        EXPECT_EQ(BoxKindOf(id), expected) << id;
    }
}

constexpr const wchar_t* kFileName = L"Kelvrane_for_(K)QZ415_270[2.20]series_Installer.exe";
constexpr const wchar_t* kEnglishTitle = L"Select the folder";
constexpr const wchar_t* kJapaneseTitle = L"ダウンロードしたファイルの保存先を選択してください。";

struct ShownTextCase {
    std::uint16_t uiLanguage;
    std::wstring label;
    std::size_t breakAt;  // where a second line starts
    const wchar_t* pickerTitle;
};

class ShownTextsTest : public testing::TestWithParam<ShownTextCase> {};

// The label's words, their order and the picker's title all follow the
// user-interface language: the user's locale (the region setting) is not
// read at all, so an English Windows with a Japanese region reads English
// in English order and the reverse. A second line starts between the two
// parts, never inside the file name.
TEST_P(ShownTextsTest, FollowTheUserInterfaceLanguageOnly) {
    const auto& c = GetParam();
    const Language language = LanguageForUi(c.uiLanguage);
    const auto parts = DescriptionLabelParts(kFileName, language);
    EXPECT_EQ(parts.Whole(), c.label);
    EXPECT_EQ(parts.first, c.label.substr(0, c.breakAt));
    EXPECT_EQ(parts.second, c.label.substr(c.breakAt));
    EXPECT_EQ(FolderPickerTitle(language), c.pickerTitle);
}

INSTANTIATE_TEST_SUITE_P(
    UiLanguages, ShownTextsTest,
    testing::Values(
        ShownTextCase{0x0409, std::wstring(L"Downloading the ") + kFileName, 16, kEnglishTitle},   // English (US)
        ShownTextCase{0x0411, std::wstring(kFileName) + L"をダウンロードします。", 51, kJapaneseTitle},  // Japanese
        ShownTextCase{0x0407, std::wstring(L"Downloading the ") + kFileName, 16, kEnglishTitle},   // German
        ShownTextCase{0x0412, std::wstring(L"Downloading the ") + kFileName, 16, kEnglishTitle}));  // Korean

}  // namespace
}  // namespace cveltrix
