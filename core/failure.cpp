#include "core/failure.h"

#include <algorithm>
#include <array>

namespace cveltrix {
namespace {

using enum FailureKind;

// Only what a server, a proxy or the way to them may get over is tried
// again. A refused login, a disk that fails, a file that is not what was
// pinned or signed, a range of another file and a choice of the user's are
// the same on the next try.
constexpr std::array kRules{
    FailureRule{TempFileUnopened, msg::CreateFailed, false},
    FailureRule{TempFileHeld, msg::HeldByAnotherCopy, false},
    FailureRule{NoAnswer, msg::ServerUnreachable, true},
    FailureRule{ServerSaysLater, msg::ServerUnreachable, true},
    FailureRule{ServerSaysNo, msg::ServerUnreachable, false},
    FailureRule{RedirectRefused, msg::ServerUnreachable, false},
    FailureRule{NoUsableLength, msg::ServerUnreachable, false},
    FailureRule{RangeElsewhere, msg::ServerUnreachable, false},
    FailureRule{WrongLength, msg::ServerUnreachable, false},
    FailureRule{Disconnected, msg::Disconnected, true},
    FailureRule{WentSilent, msg::Disconnected, true},
    FailureRule{ProxyUnreachable, msg::ProxyUnreachable, true},
    FailureRule{ProxyLoginRefused, msg::ProxyAuthFailed, false},
    FailureRule{WriteFailed, msg::WriteFailed, false},
    FailureRule{Overran, msg::Damaged, false},
    FailureRule{Unreadable, msg::Damaged, false},
    FailureRule{DigestMismatch, msg::Damaged, false},
    FailureRule{SignatureUnopened, msg::Damaged, false},
    FailureRule{SignatureRefused, msg::Damaged, false},
    FailureRule{NoFolderChosen, msg::NoFolderChosen, false},
    FailureRule{MoveFailed, msg::SaveFailed, false},
    FailureRule{MarkUnwritten, kNoMessage, false},
};

constexpr bool InEnumerationOrder() {
    for (std::size_t i = 0; i < kRules.size(); ++i) {
        if (static_cast<std::size_t>(kRules[i].kind) != i) return false;
    }
    return true;
}
static_assert(InEnumerationOrder(), "one rule per kind, in the enumeration's order");

constexpr std::uint32_t kRequestTimeout = 408;
constexpr std::uint32_t kTooManyRequests = 429;

constexpr std::chrono::seconds kFirstWait{1};
constexpr std::chrono::seconds kLongestWait{30};
constexpr std::uint64_t kLongestAskedWait = 60;

}  // namespace

std::span<const FailureRule> FailureRules() { return kRules; }

const FailureRule& RuleOf(FailureKind kind) { return kRules[static_cast<std::size_t>(kind)]; }

FailureKind KindOfStatus(std::uint32_t status) {
    return status == kRequestTimeout || status == kTooManyRequests || (status >= 500 && status <= 599)
               ? ServerSaysLater
               : ServerSaysNo;
}

std::chrono::seconds RetryWait(int attempt, std::optional<std::uint64_t> retryAfterSeconds) {
    if (retryAfterSeconds) return std::chrono::seconds(std::min(*retryAfterSeconds, kLongestAskedWait));
    // Past five doublings the cap holds anyway; the shift stays small.
    const int doublings = std::clamp(attempt - 1, 0, 5);
    return std::min(kFirstWait * (1 << doublings), kLongestWait);
}

}  // namespace cveltrix
