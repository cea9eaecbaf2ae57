// The reader's adapter followed to another COM number: its ids as the system gives them,
// the rule that picks the port, and the file that remembers it.
#include "serial/adapter_search.h"

#include <gtest/gtest.h>

#include "serial/remembered_adapter.h"

namespace korvalen {
namespace {

PortIdentity Usb(std::string vendor, std::string product, std::string serial = "") {
    PortIdentity id;
    id.vendor = std::move(vendor);
    id.product = std::move(product);
    id.serial_number = std::move(serial);
    return id;
}

SystemSerialPort Port(int number, PortIdentity identity = {}) {
    return {.device = "COM" + std::to_string(number), .name = "", .identity = std::move(identity)};
}

TEST(AdapterSearch, UsbIdsFromTheSystemsIds) {
    const struct {
        const char* name;
        std::string instance_id;
        std::vector<std::string> hardware_ids;
        std::string parent;
        std::string vendor, product, serial;
    } rows[] = {
        {"an adapter without a serial number: the id Windows makes up has '&'",
         R"(USB\VID_1A86&PID_7523\5&2A3B4C5D&0&2)",
         {R"(USB\VID_1A86&PID_7523&REV_0263)", R"(USB\VID_1A86&PID_7523)"},
         "",
         "1A86",
         "7523",
         ""},
        {"an adapter with one, in lower case",
         R"(usb\vid_2341&pid_0043\75330303035351f0a1b1)",
         {},
         "",
         "2341",
         "0043",
         "75330303035351f0a1b1"},
        {"FTDI's bus puts it after the product",
         R"(FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000)",
         {R"(FTDIBUS\COMPORT&VID_0403&PID_6001)"},
         "",
         "0403",
         "6001",
         "A5XK3RJTA"},
        {"an interface of a composite device: the parent's serial number",
         R"(USB\VID_10C4&PID_EA70&MI_00\6&1F2E3D4C&0&0000)",
         {},
         R"(USB\VID_10C4&PID_EA70\0042F00D)",
         "10C4",
         "EA70",
         "0042F00D"},
        {"no USB device", R"(ACPI\PNP0501\1)", {R"(*PNP0501)"}, "", "", "", ""},
        {"five digits are no id", R"(USB\VID_1A861&PID_7523\X&1)", {}, "", "", "", ""},
    };
    for (const auto& row : rows) {
        PortIdentity id;
        id.instance_id = row.instance_id;
        id.hardware_ids = row.hardware_ids;
        ReadUsbIds(id, row.parent);
        EXPECT_EQ(id.vendor + ":" + id.product + ":" + id.serial_number,
                  row.vendor + ":" + row.product + ":" + row.serial)
            << row.name;
    }
}

TEST(AdapterSearch, WhichPortIsOpened) {
    const PortIdentity ch340 = Usb("1A86", "7523");
    const PortIdentity ftdi = Usb("0403", "6001", "A5XK3RJT");
    const PortIdentity modem = Usb("8086", "1234");
    const struct {
        const char* name;
        std::optional<PortIdentity> remembered;
        std::vector<SystemSerialPort> ports;
        AdapterSearch expected;
    } rows[] = {
        {"nothing remembered: the old port, whatever is where",
         std::nullopt,
         {Port(7, ch340)},
         {.port = 3, .matches = {}}},
        {"remembered without a vendor and product (a port Plug and Play does not know)",
         PortIdentity{},
         {Port(3), Port(7)},
         {.port = 3, .matches = {}}},
        {"still on its port", ch340, {Port(1), Port(3, ch340)}, {.port = 3, .matches = {3}}},
        {"moved: one match, under another number",
         ch340,
         {Port(1), Port(3), Port(7, ch340)},
         {.port = 7, .matches = {7}}},
        {"nowhere: the old port is tried as before", ch340, {Port(1)}, {.port = 3, .matches = {}}},
        {"two identical adapters elsewhere: no guess",
         ch340,
         {Port(9, ch340), Port(5, ch340)},
         {.port = std::nullopt, .matches = {5, 9}}},
        {"two identical adapters, one on the old port: that one",
         ch340,
         {Port(9, ch340), Port(3, ch340)},
         {.port = 3, .matches = {3, 9}}},
        {"a serial number settles it between two of a kind",
         ftdi,
         {Port(3, Usb("0403", "6001", "B0000001")), Port(8, Usb("0403", "6001", "a5xk3rjt"))},
         {.port = 8, .matches = {8}}},
        {"the old number is another device now, the adapter is elsewhere",
         ch340,
         {Port(3, modem), Port(4, ch340)},
         {.port = 4, .matches = {4}}},
        {"the old number is another device, the adapter is nowhere: as before",
         ch340,
         {Port(3, modem)},
         {.port = 3, .matches = {}}},
        {"what is no COM port does not count",
         ch340,
         {{.device = "LPT1", .name = "", .identity = ch340}},
         {.port = 3, .matches = {}}},
    };
    for (const auto& row : rows) {
        const PortIdentity* remembered = row.remembered ? &*row.remembered : nullptr;
        EXPECT_EQ(SearchReaderAdapter(remembered, 3, row.ports), row.expected) << row.name;
    }
}

// The file keeps every field, a Cyrillic name in Windows-1251 included; a value cannot
// break a line; a file that is no such record is told apart from none.
TEST(AdapterSearch, RememberedAdapterFile) {
    RememberedAdapter adapter{.port = 12, .identity = Usb("1A86", "7523")};
    adapter.identity.instance_id = R"(USB\VID_1A86&PID_7523\5&2A3B4C5D&0&2)";
    adapter.identity.hardware_ids = {R"(USB\VID_1A86&PID_7523&REV_0263)",
                                     R"(USB\VID_1A86&PID_7523)"};
    adapter.identity.location = "Port_#0002.Hub_#0001";
    adapter.identity.name = "Устройство с последовательным интерфейсом USB (COM12)";
    const std::string text = FormatRememberedAdapter(adapter);
    EXPECT_EQ(text.substr(0, 12), "Port=COM12\r\n");
    EXPECT_NE(text.find("Name=\xD3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE"), std::string::npos);
    EXPECT_EQ(ParseRememberedAdapter(text), adapter);

    RememberedAdapter broken = adapter;
    broken.identity.name = "two\r\nPort=COM1";
    EXPECT_EQ(ParseRememberedAdapter(FormatRememberedAdapter(broken))->port, 12);
    EXPECT_EQ(ParseRememberedAdapter("garbage\r\nVendor=1A86\r\n"), std::nullopt);
}

}  // namespace
}  // namespace korvalen
