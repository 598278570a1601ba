#include "platform/win32/SetupApiPorts.h"

// windows.h first: the SetupAPI headers build on it.
#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>

#include "formats/ComName.h"
#include "platform/win32/RegistrySettings.h"
#include "platform/win32/Win32Serial.h"

namespace torvane::win32 {

namespace {

constexpr const wchar_t* PortNameValue = L"PortName";
constexpr const wchar_t* DeviceMapKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr DWORD ValueNameChars = 16384;  // the registry's longest value name, with its terminator
constexpr DWORD FriendlyNameChars = 300;  // longest friendly name kept, with its terminator
constexpr DWORD InstanceIdChars = 512;     // MAX_DEVICE_ID_LEN and more

std::optional<std::wstring> PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return std::nullopt;
    wchar_t name[64] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const LONG r = ::RegQueryValueExW(key, PortNameValue, nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    ::RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    return std::wstring(name);
}

std::string FriendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t name[FriendlyNameChars] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                             sizeof name - sizeof(wchar_t), nullptr))
        return {};  // listed all the same, without a friendly name
    return Narrow(name);
}

// USB serial adapters are enumerated by the USB bus or by a USB vendor's own
// bus driver (FTDIBUS\...); their instance IDs say so.
bool IsUsbAdapter(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t id[InstanceIdChars] = {};
    if (!::SetupDiGetDeviceInstanceIdW(set, &device, id, InstanceIdChars - 1, nullptr)) return false;
    const std::wstring text(id);
    return text.starts_with(L"USB\\") || text.starts_with(L"FTDIBUS\\");
}

// "COM5" for "com5" or "COM5"; nothing for a name that is no COM name.
std::optional<int> IndexOfPortName(const std::string& portName) {
    std::string upper = portName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return PortIndexOfComName(upper);
}

std::optional<std::vector<PresentPort>> PortsOfClass() {
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<PresentPort> found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const auto name = PortNameOf(set, device);
        if (!name) continue;
        const std::string portName = Narrow(*name);  // "com5" is listed as it is stored
        // LPT1 and the like share the class; only COM ports reach the list.
        const auto index = IndexOfPortName(portName);
        if (!index) continue;
        found.push_back(
            {portName, FriendlyNameOf(set, device), Narrow(DevicePathOf(*index)), std::nullopt, IsUsbAdapter(set, device)});
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}

// The COM names in the device map; none when no serial driver has started a
// port since the system started (the key is missing then).
std::optional<std::vector<std::string>> DeviceMapNames() {
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, DeviceMapKey, 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
    if (opened != ERROR_SUCCESS) return std::nullopt;
    std::vector<std::string> names;
    std::vector<wchar_t> valueName(ValueNameChars);
    for (DWORD i = 0;; ++i) {
        wchar_t data[64] = {};
        DWORD nameChars = ValueNameChars;
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key, i, valueName.data(), &nameChars, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_NO_MORE_ITEMS) break;
        // A value too long for a COM name is no port of ours; the next one may be.
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) break;
        if (type == REG_SZ) names.push_back(Narrow(data));
    }
    ::RegCloseKey(key);
    return names;
}

}  // namespace

std::vector<PresentPort> MergedPorts(std::vector<PresentPort> ofClass, const std::vector<std::string>& deviceMapNames) {
    std::vector<std::pair<int, PresentPort>> found;
    for (PresentPort& p : ofClass) {
        const auto index = p.portName ? IndexOfPortName(*p.portName) : std::nullopt;
        if (index) found.push_back({*index, std::move(p)});
    }
    for (const std::string& name : deviceMapNames) {
        const auto index = IndexOfPortName(name);
        if (!index) continue;
        const bool listed = std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.first == *index; });
        if (!listed) found.push_back({*index, {name, name, Narrow(DevicePathOf(*index))}});
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PresentPort> ports;
    for (auto& f : found) ports.push_back(std::move(f.second));
    return ports;
}

std::optional<std::vector<PresentPort>> SetupApiPorts::presentPorts() {
    auto ofClass = PortsOfClass();
    const auto deviceMap = DeviceMapNames();
    if (!ofClass && !deviceMap) return std::nullopt;
    return MergedPorts(ofClass.value_or(std::vector<PresentPort>{}), deviceMap.value_or(std::vector<std::string>{}));
}

}  // namespace torvane::win32
