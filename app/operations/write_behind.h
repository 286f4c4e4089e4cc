// Extraction writes its files on a second thread while the caller decodes the next ones:
// creating a file costs the system more than decoding a small one, most of all under Wine
// (round trips to its server) or with a virus scanner looking at each new file.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace rezui {

// Makes the folders above path; false with "无法创建目标目录: " and the folder.
bool make_parent_folders(const std::wstring& path, std::wstring& err);

// Writes one extracted file at path, its folders made first unless the caller knows they
// are there; false with make_parent_folders' message or "写入失败: " and the path.
bool write_extracted_file(const std::wstring& path, const uint8_t* data, size_t size, std::wstring& err,
                          bool parent_made = false);

class WriteBehind {
public:
    // stop, when given, is the job's stop request: once it is set no further queued file is
    // written (the one being written is finished), and put() queues nothing more.
    explicit WriteBehind(const std::atomic<bool>* stop = nullptr) : stop_request_(stop) {}
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues a file to write at path (its parent folders are made first). The bytes are
    // copied, or taken from owned when given. Waits while the queue holds more than a few
    // MiB. False once a queued file failed: err is then that file's message, and nothing
    // queued after it is written. False with "已取消" once stop is set, also while waiting
    // for room. Without a second thread the file is written here.
    bool put(const std::wstring& path, const uint8_t* data, size_t size, std::vector<uint8_t>* owned,
             std::wstring& err);

    // Waits until every queued file is written. False with the first failure's message.
    bool drain(std::wstring& err);

    // Lets go of every queued file that is not being written yet: a stopped extraction
    // writes no file after the stop, whatever it had decoded ahead.
    void drop_queued();

private:
    struct Job {
        std::wstring path;
        std::vector<uint8_t> bytes;
    };
    bool write_one(const Job& job, std::wstring& err);  // on the writing thread
    bool stop_requested() const { return stop_request_ && stop_request_->load(); }
    void run();

    // The slim lock and condition variables wait without a round trip to Wine's server,
    // which the files being written need for themselves.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE work_ = CONDITION_VARIABLE_INIT;  // jobs queued, or stop
    CONDITION_VARIABLE room_ = CONDITION_VARIABLE_INIT;  // room in the queue, or all written
    std::deque<Job> queue_;
    size_t queued_bytes_ = 0;  // queued and being written
    size_t queued_files_ = 0;
    bool writer_waits_ = false;
    bool caller_waits_ = false;
    bool stop_ = false;
    bool failed_ = false;
    bool dropped_ = false;
    std::wstring error_;
    std::set<std::wstring> made_;  // folders known to exist; touched by one thread at a time
    std::thread thread_;
    bool no_thread_ = false;
    const std::atomic<bool>* stop_request_ = nullptr;
};

}  // namespace rezui
