// A capture's hold on the road.
#include "worker/capture_handle.h"

#include <utility>

#include "worker/decode_jobs.h"

namespace korvalen {

CaptureHandle::CaptureHandle(DecodeJobs& jobs, File file, std::string path, std::string job)
    : jobs_(&jobs), file_(std::move(file)), path_(std::move(path)), job_(std::move(job)) {}

CaptureHandle::CaptureHandle(CaptureHandle&& other) noexcept
    : jobs_(std::exchange(other.jobs_, nullptr)),
      file_(std::move(other.file_)),
      path_(std::move(other.path_)),
      job_(std::move(other.job_)) {}

CaptureHandle& CaptureHandle::operator=(CaptureHandle&& other) noexcept {
    if (this != &other) {
        Release();
        jobs_ = std::exchange(other.jobs_, nullptr);
        file_ = std::move(other.file_);
        path_ = std::move(other.path_);
        job_ = std::move(other.job_);
    }
    return *this;
}

CaptureHandle::~CaptureHandle() {
    Release();
}

void CaptureHandle::Release() {
    if (jobs_)
        std::exchange(jobs_, nullptr)->CaptureLetGo();
}

CaptureReport CaptureHandle::End(CaptureReport report, const std::function<void()>& acknowledge) {
    file_ = File();
    if (!jobs_)
        return report;
    DecodeJobs& jobs = *jobs_;
    Release();  // the capture no longer runs: its bytes are all in
    return jobs.EndCapture(*this, std::move(report), acknowledge);
}

}  // namespace korvalen
