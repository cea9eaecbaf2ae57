// Win32 side of the port list: Plug and Play's serial devices, which carry the names the
// user knows from the Device Manager, and the registry's map of serial devices, which
// every serial driver writes, names or not.
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

#include "platform/wide_string_win32.h"
#include "serial/port_list.h"

namespace korvalen {
namespace {

// The setup class "Ports" (COM and LPT ports) and the device interface of COM ports, which
// modems and some adapters of other classes expose as well.
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

struct DeviceListCloser {
    void operator()(HDEVINFO list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListCloser>;

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// Registry strings may or may not end with their zero.
std::wstring FromRegistryChars(const std::vector<wchar_t>& chars, DWORD bytes) {
    std::size_t length = std::min<std::size_t>(bytes / sizeof(wchar_t), chars.size());
    while (length > 0 && chars[length - 1] == L'\0')
        --length;
    return std::wstring(chars.data(), length);
}

// A device's property as the strings it holds: one for REG_SZ, each of a REG_MULTI_SZ.
std::vector<std::wstring> DeviceStrings(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
    DWORD type = 0;
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type, nullptr, 0, &bytes);
    if (bytes == 0)
        return {};
    std::vector<wchar_t> chars(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(list, &device, property, &type,
                                           reinterpret_cast<BYTE*>(chars.data()), bytes, &bytes) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    if (type == REG_SZ)
        return {FromRegistryChars(chars, bytes)};
    std::vector<std::wstring> strings;
    const std::size_t length = std::min<std::size_t>(bytes / sizeof(wchar_t), chars.size());
    for (std::size_t start = 0; start < length && chars[start] != L'\0';) {
        const std::wstring one(chars.data() + start);
        start += one.size() + 1;
        strings.push_back(one);
    }
    return strings;
}

std::wstring DeviceProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
    const std::vector<std::wstring> strings = DeviceStrings(list, device, property);
    return strings.empty() ? std::wstring() : strings.front();
}

std::wstring InstanceId(HDEVINFO list, SP_DEVINFO_DATA& device) {
    DWORD chars = 0;
    SetupDiGetDeviceInstanceIdW(list, &device, nullptr, 0, &chars);
    if (chars == 0)
        return {};
    std::vector<wchar_t> id(chars + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(list, &device, id.data(), chars, nullptr))
        return {};
    return std::wstring(id.data());
}

// The instance id of the device's parent (the USB device of a composite device's serial
// interface); empty when the system keeps none.
std::wstring ParentInstanceId(DEVINST device) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device, 0) != CR_SUCCESS)
        return {};
    std::vector<wchar_t> id(MAX_DEVICE_ID_LEN + 1, L'\0');
    if (CM_Get_Device_IDW(parent, id.data(), MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS)
        return {};
    return std::wstring(id.data());
}

PortIdentity IdentityOf(HDEVINFO list, SP_DEVINFO_DATA& device, const std::wstring& name) {
    PortIdentity identity;
    identity.instance_id = Narrow(InstanceId(list, device));
    for (const std::wstring& id : DeviceStrings(list, device, SPDRP_HARDWAREID))
        identity.hardware_ids.push_back(Narrow(id));
    // The path from the bus's root where the system gives it, else the hub's port.
    std::wstring location = DeviceProperty(list, device, SPDRP_LOCATION_PATHS);
    if (location.empty())
        location = DeviceProperty(list, device, SPDRP_LOCATION_INFORMATION);
    identity.location = Narrow(location);
    identity.name = Narrow(name);
    ReadUsbIds(identity, Narrow(ParentInstanceId(device.DevInst)));
    return identity;
}

std::wstring StringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::vector<wchar_t> chars(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(chars.data()),
                         &bytes) != ERROR_SUCCESS) {
        return {};
    }
    return FromRegistryChars(chars, bytes);
}

// The present devices of a setup class or device interface, with the port name their
// driver keeps in the device's key ("COM9") and the name the Device Manager shows.
void AddPlugAndPlayPorts(std::vector<SystemSerialPort>& ports, const GUID& kind, DWORD flags) {
    const HDEVINFO found = SetupDiGetClassDevsW(&kind, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (found == INVALID_HANDLE_VALUE)
        return;
    const DeviceList list(found);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
        const HKEY opened =
            SetupDiOpenDevRegKey(list.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (opened == INVALID_HANDLE_VALUE)
            continue;
        const RegistryKey key(opened);
        const std::wstring port = StringValue(key.get(), L"PortName");
        if (port.empty())
            continue;
        std::wstring name = DeviceProperty(list.get(), device, SPDRP_FRIENDLYNAME);
        if (name.empty())
            name = DeviceProperty(list.get(), device, SPDRP_DEVICEDESC);
        AddSerialPort(ports, {.device = Narrow(port),
                              .name = Narrow(name),
                              .identity = IdentityOf(list.get(), device, name)});
    }
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial device that is there now, its
// name the kernel's device ("\Device\Serial0"), its data the port ("COM1"). Virtual ports
// and Wine's ports are found only here; the kernel's device is the only name there is.
void AddMappedPorts(std::vector<SystemSerialPort>& ports) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                      &opened) != ERROR_SUCCESS) {
        return;
    }
    const RegistryKey key(opened);
    DWORD longest_name = 0;
    DWORD longest_data = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longest_name, &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::vector<wchar_t> name(longest_name + 1, L'\0');
    std::vector<wchar_t> data(longest_data / sizeof(wchar_t) + 1, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD name_chars = static_cast<DWORD>(name.size());
        DWORD data_bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key.get(), i, name.data(), &name_chars, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &data_bytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        AddSerialPort(ports, {.device = Narrow(FromRegistryChars(data, data_bytes)),
                              .name = Narrow(std::wstring_view(name.data(), name_chars)),
                              .identity = {}});
    }
}

}  // namespace

std::vector<SystemSerialPort> ListSerialPorts() {
    // The lists with the Device Manager's names first: the first name given stays.
    std::vector<SystemSerialPort> ports;
    AddPlugAndPlayPorts(ports, kPortsClass, 0);
    AddPlugAndPlayPorts(ports, kComPortInterface, DIGCF_DEVICEINTERFACE);
    AddMappedPorts(ports);
    // The ports class holds printer ports too.
    std::erase_if(ports, [](const SystemSerialPort& port) { return !ComPortNumber(port.device); });
    return ports;
}

std::string_view PortNamesThatFollowTheAdapter() {
    return "A port may also be given by its device, as the list shows it: its name, or\n"
           "VENDOR:PRODUCT[:SERIAL]. With --wait such a port is followed to another number\n"
           "when the adapter is plugged into another socket.";
}

}  // namespace korvalen
