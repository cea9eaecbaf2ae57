// The journal file: its text, the sessions of the processes that share it, its changes.
#include "worker/road_journal.h"

#include <algorithm>
#include <random>
#include <thread>

#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr std::string_view kJournalHead = "Korvalen road journal 1";
constexpr std::string_view kJournalName = "Korvalen.jnl";
constexpr int kMostSessions = 64;

std::string_view StateName(JobState state) {
    switch (state) {
        case JobState::Capturing:
            return "capturing";
        case JobState::Pending:
            return "pending";
        case JobState::Committed:
            return "committed";
    }
    return "pending";
}

std::optional<JobState> StateOf(std::string_view name) {
    for (JobState state : {JobState::Capturing, JobState::Pending, JobState::Committed}) {
        if (StateName(state) == name)
            return state;
    }
    return std::nullopt;
}

std::optional<DumpKind> KindOf(std::string_view name) {
    for (DumpKind kind : {DumpKind::NewData, DumpKind::AllData, DumpKind::Cut, DumpKind::File}) {
        if (DumpKindName(kind) == name)
            return kind;
    }
    return std::nullopt;
}

// "key rest of the line": the key and what follows its blank.
std::pair<std::string_view, std::string_view> SplitLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return {line, {}};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

std::optional<std::int64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string SessionLockName(int session) {
    return StringPrintf("Korvalen-%d.lck", session);
}

}  // namespace

void ResetForRedo(RoadJob& job, std::vector<CsvFileMark> csv) {
    job.state = JobState::Pending;
    job.staging.clear();
    job.inbox.clear();
    job.files.clear();
    job.csv = std::move(csv);
}

std::string_view DumpKindName(DumpKind kind) {
    switch (kind) {
        case DumpKind::NewData:
            return "ND";
        case DumpKind::AllData:
            return "AD";
        case DumpKind::Cut:
            return "cut";
        case DumpKind::File:
            return "file";
    }
    return "cut";
}

// One job per block: "job ID SESSION STATE KIND", its fields, "end". Paths stand last on
// their lines, so they may hold blanks. A CSV mark is "csv START PATH" or, once its end is
// known, "csv START..END PATH"; a staged file is "file SIZE NAME". A delivered part stands
// before the jobs as "part FROM LENGTH READ_AT DUMP".
std::string FormatJournal(const JournalContents& contents) {
    std::string text(kJournalHead);
    text += '\n';
    for (const DeliveredPart& part : contents.parts) {
        text += StringPrintf("part %lld %lld ", static_cast<long long>(part.from),
                             static_cast<long long>(part.length)) +
                (part.read_at.empty() ? "-" : part.read_at) + " " + part.dump + "\n";
    }
    for (const RoadJob& job : contents.jobs) {
        text += StringPrintf("job %s %d ", job.id.c_str(), job.owner);
        text +=
            std::string(StateName(job.state)) + " " + std::string(DumpKindName(job.kind)) + "\n";
        const auto field = [&](std::string_view key, const std::string& value) {
            if (!value.empty())
                text += std::string(key) + " " + value + "\n";
        };
        field("read", job.read_at);
        field("dump", job.dump);
        field("archive", job.archive);
        field("staging", job.staging);
        field("inbox", job.inbox);
        for (const CsvFileMark& csv : job.csv) {
            text += StringPrintf("csv %lld", static_cast<long long>(csv.length));
            if (csv.end >= 0)
                text += StringPrintf("..%lld", static_cast<long long>(csv.end));
            text += " " + csv.path + "\n";
        }
        for (const StagedFile& file : job.files)
            text +=
                StringPrintf("file %lld ", static_cast<long long>(file.size)) + file.name + "\n";
        if (job.payload_start >= 0)
            text += StringPrintf("payload %lld\n", static_cast<long long>(job.payload_start));
        if (job.parts_looked_up)
            text += "looked\n";
        for (const DeliveredRange& range : job.delivered) {
            text += StringPrintf("delivered %lld %lld\n", static_cast<long long>(range.from),
                                 static_cast<long long>(range.to));
        }
        for (const std::string& dump : job.based_on)
            field("based", dump);
        if (job.on_delivery == PartOnDelivery::Keep) {
            text += StringPrintf("part keep %lld\n", static_cast<long long>(job.part_length));
            text += StringPrintf("piece keep %lld\n", static_cast<long long>(job.piece_length));
        }
        text += "end\n";
    }
    return text;
}

std::optional<JournalContents> ParseJournal(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.empty() || lines[0] != kJournalHead)
        return std::nullopt;
    JournalContents contents;
    std::vector<RoadJob>& jobs = contents.jobs;
    std::optional<RoadJob> job;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto [key, rest] = SplitLine(lines[i]);
        if (!job) {
            if (key.empty())
                continue;
            if (key == "part") {
                const auto [from_text, after_from] = SplitLine(rest);
                const auto [length_text, after_length] = SplitLine(after_from);
                const auto [read_at, dump] = SplitLine(after_length);
                const auto from = ParseCount(from_text);
                const auto length = ParseCount(length_text);
                if (!from || !length || read_at.empty() || dump.empty())
                    return std::nullopt;
                contents.parts.push_back({std::string(dump), *from, *length,
                                          read_at == "-" ? "" : std::string(read_at)});
                continue;
            }
            if (key != "job")
                return std::nullopt;
            // "ID SESSION STATE KIND"
            std::vector<std::string_view> words;
            for (std::string_view left = rest; !left.empty();) {
                const auto [word, after] = SplitLine(left);
                words.push_back(word);
                left = after;
            }
            const auto owner = words.size() == 4 ? ParseCount(words[1]) : std::nullopt;
            const auto state = words.size() == 4 ? StateOf(words[2]) : std::nullopt;
            const auto kind = words.size() == 4 ? KindOf(words[3]) : std::nullopt;
            if (!owner || !state || !kind || words[0].empty())
                return std::nullopt;
            job.emplace();
            job->id = words[0];
            job->owner = static_cast<int>(*owner);
            job->state = *state;
            job->kind = *kind;
            continue;
        }
        if (key == "end") {
            jobs.push_back(std::move(*job));
            job.reset();
        } else if (key == "read") {
            job->read_at = rest;
        } else if (key == "dump") {
            job->dump = rest;
        } else if (key == "archive") {
            job->archive = rest;
        } else if (key == "staging") {
            job->staging = rest;
        } else if (key == "inbox") {
            job->inbox = rest;
        } else if (key == "csv") {
            const auto [lengths, path] = SplitLine(rest);
            const std::size_t dots = lengths.find("..");
            const auto start = ParseCount(lengths.substr(0, dots));
            const auto end = dots == std::string_view::npos ? std::optional<std::int64_t>(-1)
                                                            : ParseCount(lengths.substr(dots + 2));
            if (!start || !end || path.empty())
                return std::nullopt;
            job->csv.push_back({std::string(path), *start, *end});
        } else if (key == "file") {
            const auto [size_text, name] = SplitLine(rest);
            const auto size = ParseCount(size_text);
            if (!size || name.empty())
                return std::nullopt;
            job->files.push_back({std::string(name), *size});
        } else if (key == "payload") {
            const auto start = ParseCount(rest);
            if (!start)
                return std::nullopt;
            job->payload_start = *start;
        } else if (key == "looked") {
            job->parts_looked_up = true;
        } else if (key == "delivered") {
            const auto [from_text, to_text] = SplitLine(rest);
            const auto from = ParseCount(from_text);
            const auto to = ParseCount(to_text);
            if (!from || !to)
                return std::nullopt;
            job->delivered.push_back({*from, *to});
        } else if (key == "based") {
            job->based_on.emplace_back(rest);
        } else if (key == "part" || key == "piece") {
            const auto [what, length_text] = SplitLine(rest);
            const auto length = ParseCount(length_text);
            if (!length || what != "keep")
                return std::nullopt;
            job->on_delivery = PartOnDelivery::Keep;
            (key == "piece" ? job->piece_length : job->part_length) = *length;
        } else if (key.empty()) {
            return std::nullopt;
        }
        // Other keys are a later program's: read past them.
    }
    if (job)
        return std::nullopt;  // a job cut off
    return contents;
}

std::string JournalErrorText(int code) {
    switch (code) {
        case kJournalDamaged:
            return "журнал поврежден";
        case kJournalBusy:
            return "журнал занят другой программой";
        case kJournalClosed:
            return "в папку данных нельзя записать";
        case kJobGone:
            return "задание уже завершено";
        case kJobExists:
            return "задание уже есть в журнале";
    }
    return StringPrintf("код ошибки %i", code);
}

RoadJournal::RoadJournal(std::string data_folder) : folder_(std::move(data_folder)) {}

RoadJournal::~RoadJournal() = default;

std::string RoadJournal::JournalPath() const {
    return folder_ + std::string(kJournalName);
}

int RoadJournal::Open() {
    if (const int code = CreateFolders(folder_); code != 0)
        return code;
    int code = 0;
    for (int session = 1; session <= kMostSessions; ++session) {
        File lock;
        if (lock.Open(folder_ + SessionLockName(session), OpenMode::AppendOrCreate,
                      Sharing::Exclusive)) {
            session_lock_ = std::move(lock);
            session_ = session;
            // The session's name must be on the disk no more than its jobs: a lock file
            // lost in a power cut is made again at the next start.
            return 0;
        }
        code = lock.error_code();
        // Only a session held by another process lets the next one be tried.
        if (!SharingViolation(code))
            break;
    }
    return code != 0 ? code : kJournalBusy;
}

int RoadJournal::Read(JournalContents& contents) const {
    std::string text;
    int code = 0;
    if (!ReadWholeFile(JournalPath(), text, &code)) {
        if (NotFound(code)) {
            contents = {};
            return 0;
        }
        return code != 0 ? code : kJournalDamaged;
    }
    std::optional<JournalContents> parsed = ParseJournal(text);
    if (!parsed)
        return kJournalDamaged;
    contents = std::move(*parsed);
    return 0;
}

int RoadJournal::ReadAll(std::vector<RoadJob>& jobs) const {
    JournalContents contents;
    const int code = Read(contents);
    if (code == 0)
        jobs = std::move(contents.jobs);
    return code;
}

int RoadJournal::Parts(std::vector<DeliveredPart>& parts) const {
    JournalContents contents;
    const int code = Read(contents);
    if (code == 0)
        parts = std::move(contents.parts);
    return code;
}

int RoadJournal::Update(const std::function<bool(JournalContents&, int&)>& change) {
    if (!is_open())
        return kJournalClosed;
    std::lock_guard guard(mutex_);
    File lock;
    const auto give_up = std::chrono::steady_clock::now() + kLockWait;
    while (!lock.Open(JournalPath() + ".lock", OpenMode::AppendOrCreate, Sharing::Exclusive)) {
        if (std::chrono::steady_clock::now() >= give_up)
            return kJournalBusy;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    JournalContents contents;
    if (const int code = Read(contents); code != 0)
        return code;
    int refusal = 0;
    const bool changed = change(contents, refusal);
    if (refusal != 0)
        return refusal;
    if (!changed)
        return 0;
    return WriteFileAtomically(JournalPath(), FormatJournal(contents));
}

bool RoadJournal::SessionAlive(int session) const {
    if (session == session_)
        return true;
    File other;
    if (other.Open(folder_ + SessionLockName(session), OpenMode::AppendOrCreate,
                   Sharing::Exclusive)) {
        return false;
    }
    // Held by another process, or it cannot be told: alive, so that nothing of its is
    // taken from it.
    return true;
}

int RoadJournal::TakeOverAbandoned(std::vector<RoadJob>& taken) {
    taken.clear();
    return Update([&](JournalContents& contents, int&) {
        std::vector<int> alive;  // sessions found held by another process
        for (RoadJob& job : contents.jobs) {
            bool abandoned = job.owner == session_;
            if (!abandoned && std::find(alive.begin(), alive.end(), job.owner) == alive.end()) {
                abandoned = !SessionAlive(job.owner);
                if (!abandoned)
                    alive.push_back(job.owner);
            }
            if (abandoned) {
                job.owner = session_;
                taken.push_back(job);
            }
        }
        return !taken.empty();
    });
}

int RoadJournal::Add(RoadJob job) {
    job.owner = session_;
    return Update([&](JournalContents& contents, int& refusal) {
        std::vector<RoadJob>& jobs = contents.jobs;
        if (std::any_of(jobs.begin(), jobs.end(),
                        [&](const RoadJob& j) { return j.id == job.id; })) {
            refusal = kJobExists;
            return false;
        }
        jobs.push_back(job);
        return true;
    });
}

int RoadJournal::Change(const std::string& id, const std::function<void(RoadJob&)>& edit) {
    return Update([&](JournalContents& contents, int& refusal) {
        std::vector<RoadJob>& jobs = contents.jobs;
        const auto job =
            std::find_if(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == id; });
        if (job == jobs.end()) {
            refusal = kJobGone;
            return false;
        }
        edit(*job);
        return true;
    });
}

int RoadJournal::Remove(const std::string& id) {
    return Update([&](JournalContents& contents, int&) {
        std::vector<RoadJob>& jobs = contents.jobs;
        const auto job =
            std::find_if(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == id; });
        if (job == jobs.end())
            return false;
        std::vector<DeliveredPart>& parts = contents.parts;
        if (job->on_delivery == PartOnDelivery::Keep) {
            // The job's transfer held the parts it was based on and goes further: it takes
            // their place.
            std::erase_if(parts, [&](const DeliveredPart& p) {
                return std::find(job->based_on.begin(), job->based_on.end(), p.dump) !=
                       job->based_on.end();
            });
            const std::string dump = job->archive.empty() ? job->dump : job->archive;
            if (job->piece_length > 0)
                parts.insert(parts.begin(), {dump, 0, job->piece_length, job->read_at});
            if (job->part_length > 0) {
                parts.insert(parts.begin(), {dump, std::max<std::int64_t>(job->payload_start, 0),
                                             job->part_length, job->read_at});
            }
            if (parts.size() > kMostParts)
                parts.resize(kMostParts);
        }
        jobs.erase(job);
        return true;
    });
}

std::optional<RoadJob> RoadJournal::Find(const std::string& id) const {
    std::vector<RoadJob> jobs;
    if (ReadAll(jobs) != 0)
        return std::nullopt;
    const auto found =
        std::find_if(jobs.begin(), jobs.end(), [&](const RoadJob& j) { return j.id == id; });
    if (found == jobs.end())
        return std::nullopt;
    return std::move(*found);
}

int RoadJournal::Jobs(std::vector<RoadJob>& mine) const {
    std::vector<RoadJob> jobs;
    if (const int code = ReadAll(jobs); code != 0)
        return code;
    mine.clear();
    for (RoadJob& job : jobs) {
        if (job.owner == session_)
            mine.push_back(std::move(job));
    }
    return 0;
}

bool RoadJournal::HoldsDump(const std::string& path) const {
    std::vector<RoadJob> jobs;
    if (ReadAll(jobs) != 0)
        return true;
    int code = 0;
    const std::optional<FileFacts> candidate = LookAtFile(path, &code);
    if (!candidate && !NotFound(code))
        return true;  // a file that cannot be looked at may be one of them
    for (const RoadJob& job : jobs) {
        if (job.dump == path)
            return true;
        if (!candidate)
            continue;  // nothing is there to write over
        const std::optional<FileFacts> dump = LookAtFile(job.dump);
        if (dump && dump->id == candidate->id)
            return true;
    }
    return false;
}

// The time for the person who reads the journal, a random number so that no two
// processes, nor two runs of one, ever give the same id.
std::string RoadJournal::NewJobId(const CalendarTime& now) const {
    static std::mutex random_mutex;
    static std::mt19937_64 random = [] {
        std::random_device device;
        std::seed_seq seed{
            device(), device(), device(),
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
            static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    std::uint32_t number = 0;
    {
        std::lock_guard lock(random_mutex);
        number = static_cast<std::uint32_t>(random());
    }
    return StringPrintf("%04d%02d%02d-%02d%02d%02d-%08x", now.year, now.month, now.day, now.hour,
                        now.minute, now.second, number);
}

}  // namespace korvalen
