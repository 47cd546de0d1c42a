// What went wrong in a run, apart from what the user is told of it: each
// kind names its catalogue message and whether another try may help. The
// run decides on kinds; the message is looked up once, when the run ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "core/catalogue.h"

namespace cveltrix {

enum class FailureKind {
    TempFileUnopened,    // the temp file cannot be opened or sized
    TempFileHeld,        // another copy of the tool holds the temp file
    NoAnswer,            // no session, no answer, or none within the silence limit
    ServerSaysLater,     // 408, 429, 503 or another 5xx
    ServerSaysNo,        // any other status that is no success (a 4xx, say)
    RedirectRefused,     // a redirect from https to plain http
    NoUsableLength,      // a success without a length the run can trust
    RangeElsewhere,      // a range that does not continue the temp file
    WrongLength,         // a whole file of another length than probed
    Disconnected,        // the body ended before the file was whole
    WentSilent,          // the body stopped past the silence limit
    ProxyUnreachable,    // the proxy cannot be reached or lost the request
    ProxyLoginRefused,   // the proxy refused the login
    WriteFailed,         // the temp file took fewer bytes than given
    Overran,             // the body ran past the announced length
    Unreadable,          // the whole file could not be read back for a check
    DigestMismatch,      // the pinned SHA-256 is not the file's
    SignatureUnopened,   // the signature check could not open the file
    SignatureRefused,    // the signer is not the expected one
    NoFolderChosen,      // the picker was cancelled
    MoveFailed,          // the finished file could not be moved
    MarkUnwritten,       // the saved file lacks its internet mark; nobody is told
};

struct FailureRule {
    FailureKind kind;
    CatalogueId message;
    // Another try, from the temp file's end, may find the server or the way
    // to it well again.
    bool retryable;
};

// Every kind's rule, one row each, in the order of the enumeration.
std::span<const FailureRule> FailureRules();
const FailureRule& RuleOf(FailureKind kind);

// What an answer's status says: come back later, or no.
FailureKind KindOfStatus(std::uint32_t status);

// How long a run waits before its `attempt`th try again (1 for the first):
// 1 s, doubling, at most 30 s; or what the server asked for in Retry-After,
// at most 60 s.
std::chrono::seconds RetryWait(int attempt, std::optional<std::uint64_t> retryAfterSeconds);

}  // namespace cveltrix
