// The one write fault of the process, looked at by every file write while it is set.
#include "platform/write_fault.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace korvalen {
namespace {

struct WriteFaultPlan {
    std::mutex mutex;
    std::atomic<bool> set{false};
    std::string path_prefix;  // guarded by mutex
    std::int64_t limit = 0;   // guarded by mutex
};

WriteFaultPlan& Plan() {
    static WriteFaultPlan plan;
    return plan;
}

}  // namespace

ScopedWriteFault::ScopedWriteFault(std::string path_prefix, std::int64_t limit) {
    WriteFaultPlan& plan = Plan();
    const std::lock_guard lock(plan.mutex);
    plan.path_prefix = std::move(path_prefix);
    plan.limit = limit;
    plan.set.store(true);
}

ScopedWriteFault::~ScopedWriteFault() {
    WriteFaultPlan& plan = Plan();
    const std::lock_guard lock(plan.mutex);
    plan.set.store(false);
}

bool AnyWriteFault() {
    return Plan().set.load(std::memory_order_relaxed);
}

std::size_t BytesBeforeWriteFault(const std::string& path, std::int64_t position,
                                  std::size_t size) {
    WriteFaultPlan& plan = Plan();
    const std::lock_guard lock(plan.mutex);
    if (!plan.set.load() || path.rfind(plan.path_prefix, 0) != 0)
        return size;
    const std::int64_t room = std::max<std::int64_t>(0, plan.limit - position);
    return static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(size)));
}

}  // namespace korvalen
