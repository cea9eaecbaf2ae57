// The reading thread's work at each poll, stepped by hand against a port in memory: what
// reaches the dump, what the window is told, and when the reader hears "(SDD)".
#include "serial/reading_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "decode_test_support.h"
#include "fake_serial_port.h"
#include "platform/write_fault.h"
#include "recording_reading_host.h"
#include "temp_folder.h"
#include "test_clocks.h"

namespace korvalen {
namespace {

using testing::FakeSerialPort;
using testing::ReadTestFile;
using testing::RecordingReadingHost;
using testing::TempFolder;
using testing::TickClock;
using testing::WriteTestFile;

class ReadingThreadTest : public ::testing::Test {
  protected:
    // Lets `arriving` arrive, moves the clock on by `after_ms` and polls once.
    void Poll(const std::string& arriving, std::uint32_t after_ms = ReadingThread::kPollMs) {
        port.Arrive(arriving);
        clock.ticks += after_ms;
        thread.PollOnce();
    }

    TempFolder folder;
    std::string in_file = folder / "Korvalen.trc";
    FakeSerialPort port;
    ManualResetEvent stop;
    WorkState work;
    RecordingReadingHost host{in_file};
    TickClock clock;
    ReadingThread thread{port, stop, work, host, clock};
};

TEST_F(ReadingThreadTest, ACompleteTransferOfNewData) {
    const std::string transfer = "(ND0000A28)" + std::string(2600, 'x');
    // The dump is on the disk and closed when the reader hears that it may forget it.
    bool dump_closed_at_ack = false;
    port.on_write = [&](std::string_view bytes) {
        File probe;
        dump_closed_at_ack = bytes == "(SDD)" &&
                             probe.Open(in_file, OpenMode::OpenExisting, Sharing::Exclusive, true);
    };
    Poll(transfer.substr(0, 1200));
    EXPECT_TRUE(work.capture_active);
    Poll(transfer.substr(1200, 1200));
    Poll(transfer.substr(2400));
    Poll("");

    EXPECT_FALSE(work.capture_active);
    EXPECT_EQ(work.progress.mask(), 0u);
    EXPECT_EQ(port.writes(), std::vector<std::string>{"(SDD)"});
    EXPECT_TRUE(dump_closed_at_ack);
    EXPECT_EQ(ReadTestFile(in_file), transfer);
    EXPECT_EQ(host.decoded(), std::vector<std::string>{in_file});
    EXPECT_TRUE(host.messages().empty());
    // The bar: position 0 before the first read, the range from the header's size
    // (2600 bytes: 2) at the second poll as owner, the count before each read, and 0 at
    // the end.
    EXPECT_EQ(host.events(), (std::vector<std::string>{"caption Прервать", "state 0", "position 0",
                                                       "position 0", "range 2", "position 1",
                                                       "position 2", "position 0", "decode"}));
}

TEST_F(ReadingThreadTest, TheNextTransferGoesToANumberedNameWhileTheDumpIsRead) {
    File reader;  // a decoding pass still reading the last dump
    WriteTestFile(in_file, "the last dump");
    ASSERT_TRUE(reader.Open(in_file, OpenMode::OpenExisting, Sharing::Shared, true));
    Poll("(AD0000003)abc");
    Poll("");
    EXPECT_EQ(host.decoded(), std::vector<std::string>{folder / "Korvalen1.trc"});
    EXPECT_EQ(ReadTestFile(folder / "Korvalen1.trc"), "(AD0000003)abc");
    EXPECT_TRUE(port.writes().empty());  // all data are never acknowledged
    reader = File();
    EXPECT_EQ(ReadTestFile(in_file), "the last dump");
}

TEST_F(ReadingThreadTest, NoDumpFileMeansNoCaptureAndTheBytesGo) {
    host.set_in_file(folder / "missing folder/Korvalen.trc");
    Poll("(ND0000003)abc");
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text.rfind("Не удалось открыть файл на запись. Код ошибки: ", 0),
              0u);
    EXPECT_NE(host.messages()[0].text.find(".\n" + folder / "missing folder/Korvalen.trc"),
              std::string::npos);
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::None);
    EXPECT_FALSE(work.capture_active);
    EXPECT_EQ(port.calls().back(), "discard input");
    // The next poll finds nothing: no second message.
    Poll("");
    EXPECT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(work.progress.mask(), 0u);
}

TEST_F(ReadingThreadTest, AFailedReadIsToldAfterThePartReceivedIsHandedOver) {
    Poll("(ND0000010)abcd");
    port.fail_read = true;
    Poll("efgh");
    port.fail_read = false;
    Poll("", Capture::kSilenceMs);
    EXPECT_EQ(host.decoded().size(), 1u);
    EXPECT_TRUE(port.writes().empty());
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text,
              "В ходе чтения данных из CОM-порта произошла ошибка. Попробуйте повторить "
              "считывание!");
    EXPECT_EQ(host.events().back(), "decode");  // the part received is decoded first
}

// A full disk: the dump keeps what fitted, the reader is not told to forget the data,
// and the user hears why.
TEST_F(ReadingThreadTest, ADumpThatCouldNotBeWrittenIsNotAcknowledged) {
    const std::string transfer = "(ND0001000)" + std::string(4096, 'x');
    {
        const ScopedWriteFault disk_full(in_file, 1000);
        Poll(transfer.substr(0, 2000));
        Poll(transfer.substr(2000));
        Poll("");
    }
    EXPECT_TRUE(port.writes().empty());
    EXPECT_EQ(host.decoded().size(), 1u);
    EXPECT_LE(ReadTestFile(in_file).size(), 1000u);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, "Не удалось записать информацию в файл. Код ошибки: " +
                                           std::to_string(DiskFullErrorCode()) + ".\n" + in_file);
    EXPECT_EQ(host.messages()[0].icon, MessageIcon::Stop);
}

// The thread ends when its stop event is set and its owner agrees; a capture that runs
// then gives back the bar's claim and the busy flag.
TEST_F(ReadingThreadTest, StopsWhenTheOwnerAgrees) {
    port.Arrive("(ND0000100)abcdef");
    std::atomic<int> asked{0};
    std::thread running([&] { thread.Run([&] { return ++asked >= 2; }); });
    while (!work.capture_active)
        std::this_thread::yield();
    stop.Set();
    running.join();
    EXPECT_EQ(asked.load(), 2);
    EXPECT_FALSE(work.capture_active);
    EXPECT_EQ(work.progress.mask(), 0u);
    EXPECT_TRUE(host.decoded().empty());
}

}  // namespace
}  // namespace korvalen
