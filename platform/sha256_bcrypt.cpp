#include "platform/sha256_bcrypt.h"

#include <windows.h>
#include <bcrypt.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/long_path.h"
#include "platform/unique_handle_win.h"

namespace cveltrix::win {
namespace {

// Large blocks keep the per-call overhead small against the hashing itself.
constexpr DWORD kBlockSize = 1u << 20;

bool Succeeded(NTSTATUS status) { return status >= 0; }

// One SHA-256 computation; invalid when CNG cannot provide it.
class Sha256 {
public:
    Sha256() {
        if (!Succeeded(::BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            algorithm_ = nullptr;
            return;
        }
        if (!Succeeded(::BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0))) hash_ = nullptr;
    }
    ~Sha256() {
        if (hash_) ::BCryptDestroyHash(hash_);
        if (algorithm_) ::BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Valid() const { return hash_ != nullptr; }
    bool Update(const UCHAR* data, ULONG size) {
        return Succeeded(::BCryptHashData(hash_, const_cast<UCHAR*>(data), size, 0));
    }
    std::optional<Sha256Digest> Finish() {
        Sha256Digest digest{};
        if (!Succeeded(::BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
            return std::nullopt;
        }
        return digest;
    }

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// Shares writing and renaming: the download keeps its own handle open
// while it appends, and moves the file through it.
UniqueHandle OpenForReading(const std::wstring& path) {
    return UniqueHandle(::CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads up to `size` bytes at the file position into the hash; false on a
// read error or an early end.
bool HashNext(HANDLE file, Sha256& hash, std::vector<UCHAR>& block, DWORD size) {
    DWORD read = 0;
    return ::ReadFile(file, block.data(), size, &read, nullptr) && read == size && hash.Update(block.data(), read);
}

class FollowingHasher final : public GrowingFileHasher {
public:
    explicit FollowingHasher(UniqueHandle file) : file_(std::move(file)), worker_([this] { Run(); }) {}

    ~FollowingHasher() override {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_.join();
    }

    void Grown(std::uint64_t size) override {
        {
            const std::lock_guard lock(mutex_);
            written_ = size;
        }
        // Woken once a whole block is waiting, not for every chunk.
        if (size - hashedHint_.load() >= kBlockSize) changed_.notify_one();
    }

    std::optional<Sha256Digest> Finish(std::uint64_t size) override {
        std::unique_lock lock(mutex_);
        written_ = size;
        finishing_ = true;
        changed_.notify_all();
        done_.wait(lock, [&] { return failed_ || stop_ || hashed_ == size; });
        if (failed_ || stop_) return std::nullopt;
        return hash_.Finish();
    }

    // Waits at most for the block being read, then the file is let go.
    void Abandon() override {
        std::unique_lock lock(mutex_);
        stop_ = true;
        changed_.notify_all();
        done_.wait(lock, [&] { return closed_; });
    }

private:
    void Run() {
        std::vector<UCHAR> block(kBlockSize);
        std::unique_lock lock(mutex_);
        failed_ = !hash_.Valid();
        for (;;) {
            changed_.wait(lock, [&] { return stop_ || failed_ || ReadyBytes() > 0; });
            if (stop_ || failed_) break;
            const DWORD size = ReadyBytes();
            lock.unlock();
            const bool ok = HashNext(file_.get(), hash_, block, size);
            lock.lock();
            failed_ = !ok;
            hashed_ += size;
            hashedHint_.store(hashed_);
            done_.notify_all();
        }
        file_.reset();
        closed_ = true;
        done_.notify_all();
    }

    // Bytes to hash now: a whole block, or the rest once the end is known.
    DWORD ReadyBytes() const {
        const std::uint64_t waiting = written_ - hashed_;
        if (waiting >= kBlockSize) return kBlockSize;
        return finishing_ ? static_cast<DWORD>(waiting) : 0;
    }

    UniqueHandle file_;
    Sha256 hash_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable done_;
    std::uint64_t written_ = 0;
    std::uint64_t hashed_ = 0;
    std::atomic<std::uint64_t> hashedHint_{0};
    bool finishing_ = false;
    bool stop_ = false;
    bool failed_ = false;
    bool closed_ = false;
    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace

std::optional<Sha256Digest> BCryptFileHasher::Sha256OfFile(const std::wstring& path) {
    const UniqueHandle file = OpenForReading(path);
    Sha256 hash;
    if (file.get() == INVALID_HANDLE_VALUE || !hash.Valid()) return std::nullopt;
    std::vector<UCHAR> block(kBlockSize);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), block.data(), kBlockSize, &read, nullptr)) return std::nullopt;
        if (read == 0) return hash.Finish();
        if (!hash.Update(block.data(), read)) return std::nullopt;
    }
}

std::unique_ptr<GrowingFileHasher> BCryptFileHasher::Follow(const std::wstring& path) {
    UniqueHandle file = OpenForReading(path);
    if (file.get() == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<FollowingHasher>(std::move(file));
}

}  // namespace cveltrix::win
