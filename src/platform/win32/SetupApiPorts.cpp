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

}  // namespace

std::optional<std::vector<PresentPort>> SetupApiPorts::presentPorts() {
    HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<std::pair<int, PresentPort>> found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const auto name = PortNameOf(set, device);
        if (!name) continue;
        const std::string portName = Narrow(*name);
        // LPT1 and the like share the class; only COM ports reach the list.
        std::string upper = portName;  // "com5" is listed as it is stored
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const auto index = PortIndexOfComName(upper);
        if (!index) continue;
        found.push_back({*index, {portName, FriendlyNameOf(set, device), Narrow(DevicePathOf(*index)), std::nullopt,
                                  IsUsbAdapter(set, device)}});
    }
    ::SetupDiDestroyDeviceInfoList(set);
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PresentPort> ports;
    for (auto& f : found) ports.push_back(std::move(f.second));
    return ports;
}

}  // namespace torvane::win32
