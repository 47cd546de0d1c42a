#include "core/failure.h"

#include <gtest/gtest.h>

#include <set>

#include "core/catalogue.h"

namespace cveltrix {
namespace {

using enum FailureKind;

struct KindCase {
    FailureKind kind;
    CatalogueId message;
    bool retryable;
};

class FailureKindTest : public testing::TestWithParam<KindCase> {};

// What the user hears of each kind, and whether a build that tries again
// tries it again: only what the server or the way to it may get over.
TEST_P(FailureKindTest, NamesItsMessageAndWhetherAnotherTryMayHelp) {
    EXPECT_EQ(RuleOf(GetParam().kind).message, GetParam().message);
    EXPECT_EQ(RuleOf(GetParam().kind).retryable, GetParam().retryable);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailureKindTest,
    testing::Values(KindCase{TempFileUnopened, msg::CreateFailed, false},
                    KindCase{TempFileHeld, msg::HeldByAnotherCopy, false},
                    KindCase{NoAnswer, msg::ServerUnreachable, true},
                    KindCase{ServerSaysLater, msg::ServerUnreachable, true},
                    KindCase{ServerSaysNo, msg::ServerUnreachable, false},
                    KindCase{RedirectRefused, msg::ServerUnreachable, false},
                    KindCase{NoUsableLength, msg::ServerUnreachable, false},
                    KindCase{RangeElsewhere, msg::ServerUnreachable, false},
                    KindCase{WrongLength, msg::ServerUnreachable, false},
                    KindCase{Disconnected, msg::Disconnected, true},
                    KindCase{WentSilent, msg::Disconnected, true},
                    KindCase{ProxyUnreachable, msg::ProxyUnreachable, true},
                    KindCase{ProxyLoginRefused, msg::ProxyAuthFailed, false},
                    KindCase{WriteFailed, msg::WriteFailed, false},
                    KindCase{Overran, msg::Damaged, false},
                    KindCase{Unreadable, msg::Damaged, false},
                    KindCase{DigestMismatch, msg::Damaged, false},
                    KindCase{SignatureUnopened, msg::Damaged, false},
                    KindCase{SignatureRefused, msg::Damaged, false},
                    KindCase{NoFolderChosen, msg::NoFolderChosen, false},
                    KindCase{MoveFailed, msg::SaveFailed, false},
                    KindCase{MarkUnwritten, kNoMessage, false}));

// Every kind has its rule, and every message a kind names is a box of the
// catalogue.
TEST(FailureKindTest, EveryKindHasOneRuleWithAMessageOfTheCatalogue) {
    std::set<FailureKind> kinds;
    for (const FailureRule& rule : FailureRules()) {
        kinds.insert(rule.kind);
        if (rule.message != kNoMessage) {
            EXPECT_FALSE(LoadText(rule.message, Language::English).empty()) << rule.message;
        }
    }
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(MarkUnwritten) + 1);
}

TEST(FailureKindTest, StatusesThatSayLaterAreTheBusyAndTheBroken) {
    for (std::uint32_t status : {408u, 429u, 500u, 502u, 503u, 504u, 599u}) {
        EXPECT_EQ(KindOfStatus(status), ServerSaysLater) << status;
    }
    for (std::uint32_t status : {204u, 302u, 400u, 401u, 403u, 404u, 407u, 410u, 416u, 600u}) {
        EXPECT_EQ(KindOfStatus(status), ServerSaysNo) << status;
    }
}

}  // namespace
}  // namespace cveltrix
