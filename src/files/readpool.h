#pragma once

#include "filestore.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Reads the files a run will come to next on threads of their own, one file a thread at a
// time, so that their opening and reading overlap the run's work on the file in hand. A file
// is read as the store reads it; the run takes what was read when it comes to the file. A file
// the run comes to before any thread has started on it is left to the run.
class ReadPool {
public:
    // What a read ahead gave, as the store's read gives it.
    struct Read {
        ReadOutcome outcome = ReadOutcome::CouldNotRead;
        QByteArray content;
        FileStamp stamp;
    };
    // Reads name in the folder open as folderFd into read; returns false, having read
    // nothing, for a file it leaves to the run (one too large to be copied, say). Called on the
    // pool's threads, several at a time.
    using Reader = std::function<bool(int folderFd, const QByteArray& name, Read& read)>;

    explicit ReadPool(Reader reader);
    // Stops the threads; what they read and nobody took is dropped.
    ~ReadPool();
    ReadPool(const ReadPool&) = delete;
    ReadPool& operator=(const ReadPool&) = delete;

    // Hands the entry name of the folder open as folderFd to the threads, in the order the run
    // will take them, and returns at once. The folder stays open until this object is gone.
    void Hint(int folderFd, const QByteArray& name);
    // What was read ahead of the entry name of folderFd, waiting for a thread that is reading
    // it; nothing when no thread has started on it (then none will). Hints of entries before it
    // are dropped: the run has passed them.
    std::optional<Read> Take(int folderFd, const QByteArray& name);

private:
    struct Job;
    void Work();

    Reader reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Job>> jobs_;  // in the order hinted
    qsizetype held_ = 0;                     // bytes read ahead and not taken yet
    int idle_ = 0;                           // threads waiting for a file to read
    const Job* awaited_ = nullptr;           // the file the run waits for a thread to read
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
