// A capture's hold on the road: its dump file and its job, from its start to its end.
#pragma once

#include <functional>
#include <string>

#include "platform/file.h"
#include "worker/road_events.h"

namespace korvalen {

class DecodeJobs;

// What BeginCapture gives a capture: its dump file, open for writing, and its job in the
// journal. While it is held the road counts a capture as running. End hands the dump
// over; a handle let go without End (the program is going) leaves its job to the next
// start, which decodes what the dump holds.
class CaptureHandle {
  public:
    CaptureHandle(CaptureHandle&& other) noexcept;
    CaptureHandle& operator=(CaptureHandle&& other) noexcept;
    CaptureHandle(const CaptureHandle&) = delete;
    CaptureHandle& operator=(const CaptureHandle&) = delete;
    ~CaptureHandle();

    File& file() { return file_; }
    const std::string& path() const { return path_; }
    const std::string& job() const { return job_; }

    // The capture has ended and its dump is closed (`report` says how it went): the job
    // is recorded as not yet delivered, and only once that is on the disk is
    // `acknowledge` called, for a complete transfer of new data, to send "(SDD)"; then
    // the dump is archived and decoded on a thread of its own. Tells CaptureEnded with
    // the report completed, and returns it.
    CaptureReport End(CaptureReport report, const std::function<void()>& acknowledge);

  private:
    friend class DecodeJobs;
    CaptureHandle(DecodeJobs& jobs, File file, std::string path, std::string job);
    void Release();

    DecodeJobs* jobs_;  // null once ended or moved from
    File file_;
    std::string path_;
    std::string job_;
};

}  // namespace korvalen
