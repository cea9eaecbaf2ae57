// The COM-port dialog's port list made from what the system reports, the USB adapters of a
// POSIX system, and the reasons of a port that did not open.
#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "serial/port_list_posix.h"
#include "serial/port_open_error.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

// The dialog's own six entries, none of them reported.
std::vector<ComPortChoice> FixedSix() {
    std::vector<ComPortChoice> six;
    for (int number = 1; number <= 6; ++number)
        six.push_back({.number = number, .in_system = false, .name = ""});
    return six;
}

TEST(PortList, SixFixedEntriesThenEveryReportedPortInNumberOrder) {
    std::vector<ComPortChoice> with_com3 = FixedSix();
    with_com3[2] = {.number = 3, .in_system = true, .name = "Communications Port (COM3)"};
    std::vector<ComPortChoice> extra = FixedSix();
    extra.push_back({.number = 9, .in_system = true, .name = "USB-SERIAL CH340 (COM9)"});
    extra.push_back({.number = 10, .in_system = true, .name = ""});
    extra.push_back({.number = 256, .in_system = true, .name = R"(\Device\VSerial7)"});
    std::vector<ComPortChoice> twice = FixedSix();
    twice[0] = {.number = 1, .in_system = true, .name = "Port (COM1)"};
    twice.push_back({.number = 12, .in_system = true, .name = "Adapter (COM12)"});

    const struct {
        const char* name;
        std::vector<SystemSerialPort> reported;
        std::vector<ComPortChoice> expected;
    } cases[] = {
        {"nothing reported: the six, none in the system", {}, FixedSix()},
        {"a fixed port reported takes its place and name",
         {{"COM3", "Communications Port (COM3)"}},
         with_com3},
        {"others after the six, by number, not by text or by the system's order",
         {{"COM256", R"(\Device\VSerial7)"}, {"COM10", ""}, {"COM9", "USB-SERIAL CH340 (COM9)"}},
         extra},
        {"a port listed twice comes once, with the first name given",
         {{"COM12", ""},
          {"COM1", "Port (COM1)"},
          {R"(\\.\COM12)", "Adapter (COM12)"},
          {"com1", R"(\Device\Serial0)"},
          {"COM12", "Other (COM12)"}},
         twice},
        {"what is no COM name is left out",
         {{"LPT1", "Printer Port (LPT1)"},
          {"COM0", ""},
          {"COM", ""},
          {"COM9x", ""},
          {"/dev/ttyUSB0", "USB Serial"},
          {"COM123456", ""}},
         FixedSix()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComPortChoices(c.reported), c.expected) << c.name;
}

// A system tree with two adapters behind by-id links (one named by its USB product, one
// only by its link), one without a link, and a built-in port that is no USB adapter.
TEST(PortList, UsbAdaptersOfAPosixSystem) {
    namespace fs = std::filesystem;
    const testing::TempFolder root;
    const fs::path dev = fs::path(root.path()) / "dev";
    fs::create_directories(dev / "serial/by-id");
    for (const char* tty : {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0"})
        std::ofstream(dev / tty).put('\n');
    fs::create_symlink("../../ttyUSB10", dev / "serial/by-id/usb-1a86_USB_Serial-if00-port0");
    fs::create_symlink("../../ttyACM0", dev / "serial/by-id/usb-Reader_ACM-if00");
    // ttyUSB10's device is a port of an interface of the USB device that has the product.
    const fs::path usb = fs::path(root.path()) / "sys/devices/usb1/1-1";
    fs::create_directories(usb / "1-1:1.0/ttyUSB10");
    std::ofstream(usb / "product") << "USB Serial\n";
    fs::create_directories(fs::path(root.path()) / "sys/class/tty/ttyUSB10");
    fs::create_symlink("../../../devices/usb1/1-1/1-1:1.0/ttyUSB10",
                       fs::path(root.path()) / "sys/class/tty/ttyUSB10/device");

    const std::string d = fs::canonical(dev).string() + "/";
    const std::vector<SystemSerialPort> expected = {
        {d + "ttyACM0", "usb-Reader_ACM-if00"},
        {d + "ttyUSB0", ""},
        {d + "ttyUSB2", ""},
        {d + "ttyUSB10", "USB Serial"},
    };
    EXPECT_EQ(ListSerialPortsUnder(root.path()), expected);
    EXPECT_EQ(ListSerialPortsUnder(root / "nothing"), std::vector<SystemSerialPort>{});
}

TEST(PortList, ReasonOfAPortThatDidNotOpen) {
    const std::string in_use = "Порт занят другой программой";
    const std::string missing = "Такого порта нет в системе";
    const struct {
        int code;
        ErrorCodes codes;
        std::string reason;
    } cases[] = {
        {5, ErrorCodes::Win32, in_use},   // access denied: another program has it open
        {32, ErrorCodes::Win32, in_use},  // sharing violation
        {33, ErrorCodes::Win32, in_use},  // Wine: a Linux program holds it exclusively
        {2, ErrorCodes::Win32, missing},
        {3, ErrorCodes::Win32, missing},
        {1, ErrorCodes::Win32, missing},  // opens, but no serial device is behind it
        {EBUSY, ErrorCodes::Posix, in_use},
        {EWOULDBLOCK, ErrorCodes::Posix, in_use},
        {ENOENT, ErrorCodes::Posix, missing},
        {ENXIO, ErrorCodes::Posix, missing},
        {5, ErrorCodes::Posix, "Код ошибки: 5. Input/output error"},  // EIO: the system's words
        {EACCES, ErrorCodes::Posix, "Код ошибки: 13. Permission denied"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PortOpenErrorReason(c.code, c.codes), c.reason) << c.code;
    EXPECT_EQ(PortOpenErrorMessage(EBUSY), "Ошибка соединения с COM-портом!\n" + in_use);
}

}  // namespace
}  // namespace korvalen
