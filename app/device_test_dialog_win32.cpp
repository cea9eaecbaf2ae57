// The device test dialog on Win32: one test thread at a time, its lines sent to the list.
#include "app/device_test_dialog_win32.h"

#include <atomic>
#include <memory>
#include <thread>

#include "platform/manual_reset_event.h"
#include "platform/wide_string_win32.h"
#include "res/resource.h"
#include "serial/device_test.h"
#include "serial/reader_protocol.h"
#include "ui/message_box_win32.h"
#include "ui/message_pump_win32.h"

namespace korvalen {
namespace {

constexpr int kButtons[] = {IDOK, IDC_RUN_TEST, IDC_CLEAR_FLASH};

// The dialog as the test's thread changes it: every call sends to the dialog's
// controls, which the dialog's thread answers.
class DialogTestHost : public DeviceTestHost {
  public:
    explicit DialogTestHost(HWND dialog) : dialog_(dialog) { messages_.set_owner(dialog); }

    void ShowLines(std::size_t first, const std::vector<std::string>& lines) override {
        answered_ = true;
        HWND list = GetDlgItem(dialog_, IDC_TEST_OUTPUT);
        const auto count = static_cast<std::size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (std::size_t i = count; i > first; --i)
            SendMessageW(list, LB_DELETESTRING, i - 1, 0);
        LRESULT last = 0;
        for (const std::string& line : lines)
            last =
                SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(line).c_str()));
        SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(last), 0);
    }
    void SetRunning(bool running) override {
        for (int id : kButtons)
            EnableWindow(GetDlgItem(dialog_, id), !running);
    }
    void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
        messages_.ShowMessage(text, caption, icon);
    }
    // Whether the reader's report has begun to arrive; set on the test's thread.
    bool answered() const { return answered_; }

  private:
    HWND dialog_;
    std::atomic<bool> answered_ = false;
    WindowMessageSink messages_;
};

// One test at a time: a new one ends the run before it, which may still wait for its
// first byte, so only one thread ever polls the port.
class TestDialog {
  public:
    explicit TestDialog(SerialPort& port) : port_(port) {}
    ~TestDialog() { EndRun(); }
    TestDialog(const TestDialog&) = delete;
    TestDialog& operator=(const TestDialog&) = delete;

    void Attach(HWND dialog) {
        host_ = std::make_unique<DialogTestHost>(dialog);
        dialog_ = dialog;
    }

    void OnRunTest() {
        EndRun();
        SendDlgItemMessageW(dialog_, IDC_TEST_OUTPUT, LB_RESETCONTENT, 0, 0);
        port_.Write(kQueryTest);
        test_ = std::make_unique<DeviceTest>(port_, stop_, *host_);
        thread_ended_ = false;
        thread_ = std::thread([this] {
            test_->Run();
            thread_ended_ = true;
        });
    }

    void OnClearFlash() { port_.Write(kEraseFlash); }

    bool answered() const { return host_ && host_->answered(); }

    // "Закрыть", Esc and the close box: refused while the report arrives.
    void OnClose() {
        if (test_ && test_->running())
            return;
        stop_.Set();
        EndDialog(dialog_, IDOK);
    }

  private:
    // Stops the running thread and waits for it, answering the dialog's messages
    // meanwhile: the thread may be sending to them.
    void EndRun() {
        if (!thread_.joinable())
            return;
        stop_.Set();
        PumpMessagesUntil([this] { return thread_ended_.load(); });
        thread_.join();
        stop_.Reset();
    }

    SerialPort& port_;
    HWND dialog_ = nullptr;
    std::unique_ptr<DialogTestHost> host_;
    ManualResetEvent stop_;             // shared with the test's thread
    std::unique_ptr<DeviceTest> test_;  // its running() is read here, written there
    std::atomic<bool> thread_ended_ = false;
    std::thread thread_;
};

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        reinterpret_cast<TestDialog*>(lparam)->Attach(dialog);
        return TRUE;
    }
    auto* test = reinterpret_cast<TestDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message != WM_COMMAND || !test)
        return FALSE;
    switch (LOWORD(wparam)) {
        case IDC_RUN_TEST:
            test->OnRunTest();
            return TRUE;
        case IDC_CLEAR_FLASH:
            test->OnClearFlash();
            return TRUE;
        case IDOK:
        case IDCANCEL:
            test->OnClose();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool RunDeviceTestDialog(HWND owner, SerialPort& port) {
    TestDialog test(port);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST), owner, TestDialogProc,
                    reinterpret_cast<LPARAM>(&test));
    return test.answered();
}

}  // namespace korvalen
