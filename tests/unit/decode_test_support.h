// What the decoding tests share: a host that records what a pass showed, and file helpers.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode/operator.h"
#include "decode/pass_outcome.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "test_clocks.h"

namespace korvalen::testing {

// The system's code for a file whose folder is missing: ENOENT, or ERROR_PATH_NOT_FOUND.
#ifdef _WIN32
inline constexpr int kMissingFolderErrorCode = 3;
#else
inline constexpr int kMissingFolderErrorCode = 2;
#endif

// Stands in for the person at the window: answers the question and the prompt as told
// and keeps every message; keeps the log list as the window does, with "<now>" for the
// date of each summary.
class RecordingOperator : public Operator {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };

    void ShowMessage(std::string_view text, std::string_view, MessageIcon icon) override {
        messages.push_back({std::string(text), icon});
    }
    bool AskYesNo(std::string_view question) override {
        questions.emplace_back(question);
        return answer_yes;
    }
    std::string PromptObjectId() override {
        ++prompts;
        return prompt_text;
    }
    // The pass's summary on top of the list, "---" between it and the lines below.
    void AddSummary(const DecodingPass& pass) {
        std::vector<std::string> lines = FormatPassSummary(pass.outcome());
        lines.front() = "<now>";
        if (!log.empty())
            log.insert(log.begin(), "---");
        log.insert(log.begin(), lines.begin(), lines.end());
    }

    // Answers.
    bool answer_yes = false;
    std::string prompt_text = "0000";
    // What the pass did.
    std::vector<Message> messages;
    std::vector<std::string> questions;
    int prompts = 0;
    std::vector<std::string> log;  // top line first, as the list shows it
};

// Keeps how far a pass said it had read: the thousands of bytes, as the progress bar
// counts them.
class RecordingProgress : public PassProgress {
  public:
    void Started() override { ++starts; }
    void Advanced(std::int64_t bytes_read, std::int64_t) override {
        if (bytes_read % 1000 != 0)
            return;
        const int position = static_cast<int>(bytes_read / 1000);
        positions.push_back(position);
        if (on_position)
            on_position(position);
    }

    int starts = 0;
    std::vector<int> positions;
    std::function<void(int)> on_position;
};

inline void WriteTestFile(const std::string& path, const std::string& bytes) {
    File file;
    if (!file.Open(path, OpenMode::CreateOrTruncate, Sharing::Shared))
        throw std::runtime_error("cannot create " + path);
    file.Write(bytes);
    file.Close();
}

inline std::string ReadTestFile(const std::string& path) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

// The names of the files in a folder, sorted; none when there is no such folder.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(folder))
        return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace korvalen::testing
