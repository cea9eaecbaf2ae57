// What the system tells of the device behind a serial port, by which an adapter is known
// again under another number.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvalen {

// The device behind a port as the system reports it. Windows numbers a USB adapter that has
// no serial number of its own by the socket it sits in, so the same adapter in another
// socket is another instance under another COM number; its vendor and product stay.
struct PortIdentity {
    std::string instance_id;                // "USB\VID_1A86&PID_7523\5&2A3B4C5D&0&2"
    std::vector<std::string> hardware_ids;  // most specific first
    std::string vendor;         // the USB vendor id, four hex digits in capitals; empty: no USB
    std::string product;        // the USB product id, likewise
    std::string serial_number;  // the USB device's own; empty when it has none
    std::string location;       // where it sits on its bus
    std::string name;           // the Device Manager's name of it

    bool operator==(const PortIdentity&) const = default;

    // Whether the adapter can be known again elsewhere: its vendor and product are known.
    bool Followable() const { return !vendor.empty() && !product.empty(); }
};

// Fills the vendor, the product and the serial number from the device's instance id and
// hardware ids, and from the instance id of its parent (the USB device of a composite
// device's interface; empty when the system gives none). Windows makes up an instance id
// with '&' in its last part for a device without a serial number of its own; an FTDI
// port's bus puts the serial number after the product ("FTDIBUS\VID_0403+PID_6001+A5XK3RJT").
void ReadUsbIds(PortIdentity& identity, std::string_view parent_instance_id);

// Whether `present` is the adapter `remembered` was: the same vendor, product and serial
// number where the adapter has one; the same vendor and product where it has none.
bool SameAdapter(const PortIdentity& remembered, const PortIdentity& present);

// How a port's device is given on a command line: "1A86:7523", or with the serial number
// "0403:6001:A5XK3RJT"; empty when the adapter cannot be followed.
std::string UsbIds(const PortIdentity& identity);
// The vendor, product and serial number of a device given so (hex in either case); none
// when the text is no such device.
std::optional<PortIdentity> ParseUsbIds(std::string_view text);

}  // namespace korvalen
