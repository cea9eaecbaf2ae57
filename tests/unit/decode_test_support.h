// What the decoding tests share: a host that records what a pass showed, and file helpers.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "decode/decoding_host.h"
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

// Stands in for the main window: answers the question and the prompt as told and keeps
// everything the pass showed.
class RecordingHost : public DecodingHost {
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
    int ProgressRangeUpper() override { return range_upper; }
    void SetProgressRange(std::uint16_t upper) override {
        range_upper = upper;
        ranges.push_back(upper);
    }
    void SetProgressPosition(int position) override {
        positions.push_back(position);
        if (on_position)
            on_position(position);
    }
    void InsertLogLineAtTop(std::string_view line) override {
        log.insert(log.begin(), std::string(line));
    }
    int LogLineCount() override { return static_cast<int>(log.size()); }
    void SetActionButtonCaption(std::string_view caption) override {
        captions.emplace_back(caption);
    }
    void SetStatusText(std::string_view text) override { status = text; }
    void SetUiState(UiState ui_state) override {
        const int state = static_cast<int>(ui_state);
        ui_states.push_back(state);
        if (on_ui_state)
            on_ui_state(state);
    }
    std::string FormatDateTime(const CalendarTime&) override { return "<now>"; }

    // Answers.
    bool answer_yes = false;
    std::string prompt_text = "0000";
    std::function<void(int)> on_position;
    std::function<void(int)> on_ui_state;
    // What the pass did.
    std::vector<Message> messages;
    std::vector<std::string> questions;
    int prompts = 0;
    int range_upper = 0;
    std::vector<int> ranges;
    std::vector<int> positions;
    std::vector<std::string> log;  // top line first, as the list shows it
    std::vector<std::string> captions;
    std::string status;
    std::vector<int> ui_states;
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

// The names of the files in a folder, sorted.
inline std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace korvalen::testing
