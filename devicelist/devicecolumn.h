#pragma once

namespace VoskTool {

// The logical columns of the device table, in the order of the default
// layout. ColumnConfig.xml maps each to the model column that shows it
// (DeviceInfoModel::columnIndex).
enum DeviceColumn {
    ColumnCheck = 0,
    ColumnId = 1,
    ColumnDeviceType = 2,
    ColumnActivation = 3,
    ColumnIpv4Address = 4,
    ColumnPort = 5,
    ColumnSoftwareVersion = 6,
    ColumnIpv4Gateway = 7,
    ColumnHttpPort = 8,
    ColumnSerialNumber = 9,
    ColumnIpv4Mask = 10,
    ColumnMac = 11,
    ColumnChannelCount = 12,
    ColumnDspVersion = 13,
    ColumnStartTime = 14,
    ColumnIpv6Address = 15,
    ColumnIpv6Gateway = 16,
    ColumnIpv6PrefixLength = 17,
    ColumnSupportIpv6 = 18,
    ColumnSupportModifyIpv6 = 19,
    ColumnSupportDhcp = 20,
    ColumnIpv4Dhcp = 21,
    // Which discovery found the device: ours or ONVIF. Added after the
    // others, so that column files written before it still map 0..21 as
    // they did; ColumnConfig gives it the first free place.
    ColumnProtocol = 22,
    DeviceColumnCount = 23
};

} // namespace VoskTool
