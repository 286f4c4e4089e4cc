#include "app/operations/write_behind.h"

#include <system_error>

#include "archive/rez_model.h"
#include "archive/util.h"

namespace rezui {

namespace {

// Enough files ahead to keep the writing thread busy while the decoder works, little
// enough to stay a small part of an extraction's memory. A caller that finds the queue full
// waits until it is half empty, so the two threads do not wake each other for every file.
constexpr size_t kQueueBytes = size_t{4} << 20;
constexpr size_t kQueueFiles = 2048;

class Locked {
public:
    explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Locked() { ReleaseSRWLockExclusive(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace

WriteBehind::~WriteBehind() {
    {
        Locked g(lock_);
        stop_ = true;
    }
    WakeAllConditionVariable(&work_);
    if (thread_.joinable()) thread_.join();
}

bool make_parent_folders(const std::wstring& path, std::wstring& err) {
    const std::wstring parent = path.substr(0, path.find_last_of(L'\\'));
    if (rez::create_directories(parent)) return true;
    err = L"无法创建目标目录: " + parent;
    return false;
}

bool write_extracted_file(const std::wstring& path, const uint8_t* data, size_t size, std::wstring& err,
                          bool parent_made) {
    if (!parent_made && !make_parent_folders(path, err)) return false;
    if (rez::write_file(path, data, size)) return true;
    const DWORD error = GetLastError();
    err = rez::is_disk_full_error(error) ? rez::write_failure_message(path, error) : L"写入失败: " + path;
    return false;
}

bool WriteBehind::write_one(const Job& job, std::wstring& err) {
    const std::wstring parent = job.path.substr(0, job.path.find_last_of(L'\\'));
    if (!write_extracted_file(job.path, job.bytes.data(), job.bytes.size(), err, made_.count(parent) != 0))
        return false;
    made_.insert(parent);
    return true;
}

void WriteBehind::run() {
    std::deque<Job> batch;
    for (;;) {
        bool skip = false;
        {
            Locked g(lock_);
            while (queue_.empty() && !stop_) {
                writer_waits_ = true;
                SleepConditionVariableSRW(&work_, &lock_, INFINITE, 0);
                writer_waits_ = false;
            }
            if (queue_.empty()) return;  // stopping with nothing left
            batch.swap(queue_);
            skip = failed_ || dropped_;
        }
        while (!batch.empty()) {
            std::wstring err;
            // After a failure or a stop the rest is not written, only let go. The stop request
            // is looked at before every file: the caller may be waiting for room and not see
            // it until the queue has shrunk.
            if (!skip && stop_requested()) {
                Locked g(lock_);
                dropped_ = true;
                skip = true;
            }
            const bool ok = skip || write_one(batch.front(), err);
            const size_t size = batch.front().bytes.size();
            batch.pop_front();
            bool wake = false;
            {
                Locked g(lock_);
                queued_bytes_ -= size;
                queued_files_--;
                if (!ok && !failed_) {
                    failed_ = true;
                    error_ = err;
                }
                skip = failed_ || dropped_;
                wake = caller_waits_ && (failed_ || dropped_ || queued_files_ == 0 ||
                                         (queued_bytes_ <= kQueueBytes / 2 && queued_files_ <= kQueueFiles / 2));
            }
            if (wake) WakeAllConditionVariable(&room_);
        }
    }
}

bool WriteBehind::put(const std::wstring& path, const uint8_t* data, size_t size, std::vector<uint8_t>* owned,
                      std::wstring& err) {
    Job job;
    job.path = path;
    if (owned) {
        job.bytes = std::move(*owned);
    } else {
        job.bytes.assign(data, data + size);
    }
    if (!no_thread_ && !thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            no_thread_ = true;
        }
    }
    if (stop_requested()) {
        err = L"已取消";
        return false;
    }
    if (no_thread_) return write_one(job, err);
    bool wake = false;
    {
        Locked g(lock_);
        // One file larger than the whole allowance still goes, alone. The writing thread
        // wakes this wait when it lets the queue go after a stop.
        while (!failed_ && !dropped_ && queued_files_ > 0 &&
               (queued_bytes_ + job.bytes.size() > kQueueBytes || queued_files_ >= kQueueFiles)) {
            caller_waits_ = true;
            SleepConditionVariableSRW(&room_, &lock_, INFINITE, 0);
            caller_waits_ = false;
        }
        if (failed_) {
            err = error_;
            return false;
        }
        if (dropped_) {
            err = L"已取消";
            return false;
        }
        queued_bytes_ += job.bytes.size();
        queued_files_++;
        queue_.push_back(std::move(job));
        wake = writer_waits_;
    }
    if (wake) WakeConditionVariable(&work_);
    return true;
}

void WriteBehind::drop_queued() {
    bool wake = false;
    {
        Locked g(lock_);
        dropped_ = true;
        for (const Job& job : queue_) queued_bytes_ -= job.bytes.size();
        queued_files_ -= queue_.size();
        queue_.clear();
        wake = caller_waits_;
    }
    if (wake) WakeAllConditionVariable(&room_);
}

bool WriteBehind::drain(std::wstring& err) {
    if (!thread_.joinable()) return true;
    Locked g(lock_);
    // After a failure the writing thread lets the rest go without writing it.
    while (queued_files_ > 0) {
        caller_waits_ = true;
        SleepConditionVariableSRW(&room_, &lock_, INFINITE, 0);
        caller_waits_ = false;
    }
    if (failed_) err = error_;
    return !failed_;
}

}  // namespace rezui
