<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AboutClass</name>
    <message>
        <source>TextLabel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>VOSK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>V%1 Build %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No user manual found.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>AppWarningDialog</name>
    <message>
        <source>Hint</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VOSKToolMainPage</name>
    <message>
        <source>VOSKToolMainPage</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceDisplayPage</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total number of online devices:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Config Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Config Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceInfoModel</name>
    <message>
        <source>N/A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not activated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ON</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OFF</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ID</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Type</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4 Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Soft Vision</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4 GateWay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HttpPort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4 Mask</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MAC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Channel NO</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DSP Vision</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 GateWay</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Prefix Length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Is Support IPv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Is Support Mod IPv6</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Is Support DHCP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4 DHCP</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DevicesInfoSavePage</name>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File path:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input file name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file name cannot contain &quot;/&quot; or &quot;\&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input file path.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file name has been used, please change it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Saving failed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::ExcelManager</name>
    <message>
        <source>Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::TipDialog</name>
    <message>
        <source>sure</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::VOSKToolMainPage</name>
    <message>
        <source>VOSK Tool</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Initialization failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit the VOSK software?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::WarningDialog</name>
    <message>
        <source>Form</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>apt::ToolsApplication</name>
    <message>
        <source>VOSK is already running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display resolution less than 1024*768,are you sure to start the program?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VOSKTool</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>aptui::BaseDialog</name>
    <message>
        <source>null content</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>aptui::CDlgAbout</name>
    <message>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Version: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
