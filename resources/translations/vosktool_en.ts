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
    <message>
        <source>&quot;%1&quot; is looked for in the working folder (%2) and beside the program (%3).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No program to open PDF files is installed, so the user manual cannot be shown. The manual is &quot;%1&quot; in this folder:</source>
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
    <name>ResetPasswordWidget</name>
    <message>
        <source>Config Reset Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input the secret key.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VOSK::DeviceIdentity</name>
    <message>
        <source>%1 (MAC %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 shares its MAC address or serial number with %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A password could reach the wrong device: nothing is sent to these devices until you choose the one you mean.</source>
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
    <name>VoskTool::AddressClashes</name>
    <message>
        <source>%1 would get %2, given to %3 too</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 would get %2, held by %3</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::BatchReset</name>
    <message>
        <source>Hint</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Part failed.Please check&quot;out_error&quot; file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Part failed.Please check&quot;in_error&quot; or &quot;mismatch&quot; file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Successed</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceActivePage</name>
    <message>
        <source>Device not activated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The network parameters can be modified after the device is activated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Active now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Batch devices active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Batch devices network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sorry,the devices you have chosen has not activated devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note: please activate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>to perform other operations</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This ONVIF device does not take the standard&apos;s activation. Activate it with its maker&apos;s own tool; it can then be signed in to and configured here.</source>
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
    <message numerus="yes">
        <source>%n ONVIF device(s) refused the user name or password. Their rows say &quot;sign-in refused&quot;; check them and sign in to them with their own password.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) could not be read (no answer or an error).</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Signing in: %1 / %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The search could not be sent: ONVIF discovery is not running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Password recovery is not part of ONVIF: %n checked ONVIF device(s) are left out. Reset their password with the maker&apos;s own means.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>The other devices go on.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No ONVIF device is listed. &quot;Find by address&quot; finds devices on another subnet.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) are not activated and have no user to sign in as: activate them first.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Find by address: %1 / %2 asked, %3 answered</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Find by address: %n device(s) found</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n address(es) asked</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
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
    <message>
        <source>Another device announces the same MAC address or serial number. No password is sent to this device until you confirm that it is the one you mean.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VOSK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ONVIF, signed in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ONVIF, sign-in refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ONVIF, signing in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceModifyPage</name>
    <message>
        <source>Active</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Admin Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modify</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forget Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password contains a character that cannot be sent to the device. Please use other characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password is too long: the device takes at most 16 bytes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password is too long: ONVIF devices take at most %1 characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sorry, please select the equipment.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sorry, please enter the administrator password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modify network parameters succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device deny.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device locked, try again in %1 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device not activated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:Device not activated.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:Device locked, try again in %2 s.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Time out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:others</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:device deny</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:time out</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please select a device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activate Succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:Device deny.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:reactive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Batch activate devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Activate fail numbers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not supported by this device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Change password succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>applied</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>sent, not seen since (%1 s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:activate it with its maker&apos;s tool</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>restarted to apply it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was sent: an address would be given twice.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device took the new parameters but has not reported them: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancelling: waiting for the devices already asked...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password recovery is not part of ONVIF: reset this device&apos;s password with its maker&apos;s own means.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n checked ONVIF device(s) are not signed in yet. Please sign in to them first.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>ONVIF devices:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User name and password for the ONVIF devices: all of them, or the checked ones</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Find by address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search for ONVIF devices on another subnet</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%n checked ONVIF device(s) are not signed in yet: sign in to them first (&quot;Sign in&quot; below).</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Sign in to this ONVIF device first (&quot;Sign in&quot; below) to change its network parameters.</source>
        <translation></translation>
    </message>
    <message>
        <source>Change Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Old Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Back</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The new password is the same as the old one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password Change</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error%1:wrong old password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The old password is not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1 / %2: waiting for %n device(s) to answer</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Waiting for %n device(s) to report their new settings...</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceModifyResultPage</name>
    <message>
        <source>Devices Number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed Number:</source>
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
        <source>IPv4 Address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modification</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirmation List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry failed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The list could not be saved: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceNetParaPage</name>
    <message>
        <source>Modify Network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Inport DevciePara</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enable DHCP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>StartIp:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please set the start Ip address,then add one</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Serial:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Subnet Mask:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Address:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Gateway:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Prefix Length:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Http Port:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Security Verification</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Batch Modify Network parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input IP Address.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IP Address not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Subnet mask can not be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Subnet Mask not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway can not be empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device port ranges from 2000 to 65535.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Http port ranges from 1 to 65535.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 Address not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 gateway not correct.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 prefix length ranges from 0 to 127.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The start address %1 leaves room for %2 devices only, but %3 are selected. Please choose a lower start address.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check a device in the table first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device reports no HTTP port, so it cannot be changed here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This device does not allow its IPv6 parameters to be changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This device reports no IPv6 parameters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv4 is off on this device: it is reached over IPv6 alone. Change its IPv6 parameters below.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This device does not support DHCP.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DHCP is on: the device gets its addresses from the DHCP server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checked devices are of types with a fixed address, which a batch cannot set.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None of the checked devices reports a gateway that can be changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Without a start address every device keeps its address and gateway.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The checked devices use different ports, so each keeps its own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>One of the checked devices reports no HTTP port, so every device keeps its own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IPv6 parameters are changed one device at a time.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DHCP is on: the devices get their addresses from the DHCP server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ONVIF devices have no device port; their HTTP port is the one to change.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ONVIF devices have no device port, so every device keeps its own.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in to this ONVIF device first (&quot;Sign in&quot; below): its network settings are read with your user name and password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Empty: each device keeps its own</source>
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
    <name>VoskTool::IdentityQuestion</name>
    <message>
        <source>Confirm only if the checked devices are the ones you mean: what is sent goes to each of them sealed to its own key, and no other device can read it. Close this message to send nothing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices with a shared identity</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::NewPasswordRows</name>
    <message>
        <source>New Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Weak</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Medium</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Strong</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password can not be empty.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password you typed do not match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password contains a character that cannot be sent to the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password is too long: at most 16 bytes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password is too long: at most %1 characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Valid password range [8-16]. You can use a combination of numbers, lowercase, uppercase and special character for your password with at least two kinds of them contained.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Valid password range [8-16]. You can use a combination of numbers,lowercase, uppercase and special character for your password with at least two kinds of them contained.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Valid password range [8-%1]. You can use a combination of numbers, lowercase, uppercase and special characters for your password, with at least two kinds of them contained.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too long: over %1 bytes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too long: over %1 characters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too short: under %1 characters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Same as the user name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Only one kind of character</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::OnvifProbeDialog</name>
    <message>
        <source>Find ONVIF devices by address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Devices on another subnet do not hear the multicast search. Give their addresses or ranges, separated by commas, e.g. 192.168.2.64, 192.168.2.100-192.168.2.150.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter an address or a range.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an IPv4 address or a range of them (first-last).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The range &quot;%1&quot; ends before it starts.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Too many addresses: one search asks at most %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::OnvifSignInDialog</name>
    <message>
        <source>Sign in to ONVIF devices</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>For every ONVIF device</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Only for the %n checked ONVIF device(s)</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>The password is kept in memory only, until the program ends.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please enter the user name.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::RecoveryDialogs</name>
    <message>
        <source>请在手机通讯应用中关注厂商客服账号，打开“密码重置”服务，扫描设备二维码。</source>
        <translation>Follow the maker&apos;s customer-service account in your messaging app, open its &quot;Password Reset&quot; service and scan the device&apos;s QR code.</translation>
    </message>
    <message>
        <source>如果恢复失败，请重启设备和软件后重新执行步骤1和2。</source>
        <translation>If recovery fails, restart the device and this software, then repeat steps 1 and 2.</translation>
    </message>
</context>
<context>
    <name>VoskTool::ResetPasswordDialog</name>
    <message>
        <source>Reset Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>QR code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>请导入由“密码重置”生成的密钥文件，并重置密码（若是字符则手动输入，若是XML文件则文件导入）。</source>
        <translation>Import the key produced by &quot;Password Reset&quot; and reset the password (type it if it is characters, import it if it is an XML file).</translation>
    </message>
    <message>
        <source>ManualInput</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>AutoInput</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset IPC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get key error.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create device key file error.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input the secret key.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The answer file cannot be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The answer file cannot be copied to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The secret key is too long: at most 256 bytes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The path of the answer file copy is too long: at most 260 bytes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset password failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset password Succeed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generate QR code error.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VoskTool::RestorePasswordDialog</name>
    <message>
        <source>Reset Default Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>在“安全码”处输入“密码重置”生成的安全码，恢复的缺省密码是57094。</source>
        <translation>Type the security code produced by &quot;Password Reset&quot; into &quot;Security Code&quot;; the restored default password is 57094.</translation>
    </message>
    <message>
        <source>Security Code:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please input security code.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore password failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore password succeed.</source>
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
<context>
    <name>aptui::FolderMessageDialog</name>
    <message>
        <source>Open Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No program to open folders is installed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
