<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>AboutClass</name>
    <message>
        <source>TextLabel</source>
        <translation>文本标签</translation>
    </message>
    <message>
        <source>PushButton</source>
        <translation>按钮</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>VOSK</source>
        <translation>VOSK</translation>
    </message>
    <message>
        <source>User Help</source>
        <translation>用户帮助</translation>
    </message>
    <message>
        <source>V%1 Build %2</source>
        <translation>V%1 构建号 %2</translation>
    </message>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>No user manual found.</source>
        <translation>未找到用户手册。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is looked for in the working folder (%2) and beside the program (%3).</source>
        <translation>“%1”的查找位置：工作文件夹（%2）和程序所在的文件夹（%3）。</translation>
    </message>
    <message>
        <source>No program to open PDF files is installed, so the user manual cannot be shown. The manual is &quot;%1&quot; in this folder:</source>
        <translation>没有安装可以打开 PDF 文件的程序，因此无法显示用户手册。手册是以下文件夹中的“%1”：</translation>
    </message>
</context>
<context>
    <name>AppWarningDialog</name>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>ResetPasswordWidget</name>
    <message>
        <source>Config Reset Password</source>
        <translation>配置重置密码</translation>
    </message>
    <message>
        <source>Please input the secret key.</source>
        <translation>请输入密钥。</translation>
    </message>
</context>
<context>
    <name>VOSK::DeviceIdentity</name>
    <message>
        <source>%1 (MAC %2)</source>
        <translation>%1（MAC %2）</translation>
    </message>
    <message>
        <source>the ONVIF device at %1</source>
        <translation>位于 %1 的 ONVIF 设备</translation>
    </message>
    <message>
        <source>%1 (MAC %2, ONVIF at %3)</source>
        <translation>%1（MAC %2，ONVIF，位于 %3）</translation>
    </message>
    <message>
        <source>%1 is announced with the same endpoint reference as %2.</source>
        <translation>%1 与 %2 以相同的端点引用通告。</translation>
    </message>
    <message>
        <source>%1 answers at an address other than the one it was signed in at.</source>
        <translation>%1 在与登录时不同的地址上应答。</translation>
    </message>
    <message>
        <source>%1 gives another host than the one that answered as its service address.</source>
        <translation>%1 给出的服务地址指向另一台主机，而不是应答的主机。</translation>
    </message>
    <message>
        <source>%1 shares its MAC address or serial number with %2.</source>
        <translation>%1 与 %2 使用相同的 MAC 地址或序列号。</translation>
    </message>
    <message>
        <source>A password could reach the wrong device: nothing is sent to these devices until you choose the one you mean.</source>
        <translation>密码可能被发送到错误的设备：在您明确选择目标设备之前，不会向这些设备发送任何内容。</translation>
    </message>
</context>
<context>
    <name>VOSKToolMainPage</name>
    <message>
        <source>VOSKToolMainPage</source>
        <translation>VOSK 工具</translation>
    </message>
</context>
<context>
    <name>VoskTool::AddressClashes</name>
    <message>
        <source>%1 would get %2, given to %3 too</source>
        <translation>%1 将获得 %2，该地址也分配给了 %3</translation>
    </message>
    <message>
        <source>%1 would get %2, held by %3</source>
        <translation>%1 将获得 %2，该地址已被 %3 占用</translation>
    </message>
</context>
<context>
    <name>VoskTool::BatchReset</name>
    <message>
        <source>Hint</source>
        <translation>提示</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>加载中...</translation>
    </message>
    <message>
        <source>Part failed.Please check&quot;out_error&quot; file</source>
        <translation>部分失败，请查看“out_error”文件</translation>
    </message>
    <message>
        <source>Exported</source>
        <translation>已导出</translation>
    </message>
    <message>
        <source>Part failed.Please check&quot;in_error&quot; or &quot;mismatch&quot; file</source>
        <translation>部分失败，请查看“in_error”或“mismatch”文件</translation>
    </message>
    <message>
        <source>Successed</source>
        <translation>成功</translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceActivePage</name>
    <message numerus="yes">
        <source>%n checked ONVIF device(s) offer no HTTPS: the new password goes to them in clear over HTTP, readable by anyone on the network path.</source>
        <translation>
            <numerusform>%n 台勾选的 ONVIF 设备不提供 HTTPS：新密码将以明文经 HTTP 发送给它们，网络路径上的任何人都能读到。</numerusform>
        </translation>
    </message>
    <message>
        <source>This ONVIF device offers no HTTPS: the new password goes to it in clear over HTTP, readable by anyone on the network path.</source>
        <translation>此 ONVIF 设备不提供 HTTPS：新密码将以明文经 HTTP 发送给它，网络路径上的任何人都能读到。</translation>
    </message>
    <message>
        <source>Device not activated</source>
        <translation>设备未激活</translation>
    </message>
    <message>
        <source>The network parameters can be modified after the device is activated</source>
        <translation>设备激活后才能修改网络参数</translation>
    </message>
    <message>
        <source>Active now</source>
        <translation>立即激活</translation>
    </message>
    <message>
        <source>Device active</source>
        <translation>设备激活</translation>
    </message>
    <message>
        <source>Batch devices active</source>
        <translation>批量激活设备</translation>
    </message>
    <message>
        <source>Batch devices network parameters</source>
        <translation>批量设备网络参数</translation>
    </message>
    <message>
        <source>Sorry,the devices you have chosen has not activated devices</source>
        <translation>抱歉，您选择的设备中含有未激活的设备</translation>
    </message>
    <message>
        <source>Note: please activate</source>
        <translation>提示：请先激活</translation>
    </message>
    <message>
        <source>the device</source>
        <translation>该设备</translation>
    </message>
    <message>
        <source>to perform other operations</source>
        <translation>，再进行其他操作</translation>
    </message>
    <message>
        <source>This ONVIF device does not take the standard&apos;s activation. Activate it with its maker&apos;s own tool; it can then be signed in to and configured here.</source>
        <translation>此 ONVIF 设备不支持标准的激活方式。请使用厂商自己的工具激活；之后即可在此登录并配置。</translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceDisplayPage</name>
    <message>
        <source>ONVIF devices:</source>
        <translation>ONVIF 设备：</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>User name and password for the ONVIF devices: all of them, or the checked ones</source>
        <translation>ONVIF 设备的用户名和密码：用于全部设备，或仅用于已勾选的设备</translation>
    </message>
    <message>
        <source>Find by address</source>
        <translation>按地址查找</translation>
    </message>
    <message>
        <source>Search for ONVIF devices on another subnet</source>
        <translation>在其他子网中查找 ONVIF 设备</translation>
    </message>
    <message>
        <source>Form</source>
        <translation>设备列表</translation>
    </message>
    <message>
        <source>Total number of online devices:</source>
        <translation>在线设备总数：</translation>
    </message>
    <message>
        <source>Config Reset</source>
        <translation>批量重置密码</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Config Export</source>
        <translation>批量导出密钥</translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation>成功</translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) refused the user name or password. Their rows say &quot;sign-in refused&quot;; check them and sign in to them with their own password.</source>
        <translation>
            <numerusform>%n 台 ONVIF 设备拒绝了用户名或密码。这些设备的行显示“登录被拒绝”；请勾选它们并用各自的密码登录。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) were sent nothing: another device shares their identity, they answer where they were not signed in, or they name another host. Check the one you mean and sign in to it alone.</source>
        <translation>
            <numerusform>%n 台 ONVIF 设备未发送任何内容：另一台设备与其身份相同、其应答地址与登录时不同，或其给出另一台主机。请勾选您要的设备并单独登录。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) could not be read (no answer or an error).</source>
        <translation>
            <numerusform>%n 台 ONVIF 设备无法读取（无应答或出错）。</numerusform>
        </translation>
    </message>
    <message>
        <source>Signing in: %1 / %2</source>
        <translation>正在登录：%1 / %2</translation>
    </message>
    <message>
        <source>The search could not be sent: ONVIF discovery is not running.</source>
        <translation>无法发送搜索：ONVIF 发现未运行。</translation>
    </message>
    <message numerus="yes">
        <source>Password recovery is not part of ONVIF: %n checked ONVIF device(s) are left out. Reset their password with the maker&apos;s own means.</source>
        <translation>
            <numerusform>ONVIF 不包含密码找回：已勾选的 %n 台 ONVIF 设备被略过。请使用厂商自己的方式重置其密码。</numerusform>
        </translation>
    </message>
    <message>
        <source>The other devices go on.</source>
        <translation>其他设备继续。</translation>
    </message>
    <message>
        <source>No ONVIF device is listed. &quot;Find by address&quot; finds devices on another subnet.</source>
        <translation>列表中没有 ONVIF 设备。“按地址查找”可找到其他子网中的设备。</translation>
    </message>
    <message numerus="yes">
        <source>%n ONVIF device(s) are not activated and have no user to sign in as: activate them first.</source>
        <translation>
            <numerusform>%n 台 ONVIF 设备尚未激活，没有可登录的用户：请先激活。</numerusform>
        </translation>
    </message>
    <message>
        <source>Find by address: %1 / %2 asked, %3 answered</source>
        <translation>按地址查找：已询问 %1 / %2，%3 个应答</translation>
    </message>
    <message numerus="yes">
        <source>Find by address: %n device(s) found</source>
        <translation>
            <numerusform>按地址查找：找到 %n 台设备</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n address(es) asked</source>
        <translation>
            <numerusform>已询问 %n 个地址</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceInfoModel</name>
    <message>
        <source>N/A</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Activated</source>
        <translation>已激活</translation>
    </message>
    <message>
        <source>Not activated</source>
        <translation>未激活</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>开启</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Device Type</source>
        <translation>设备类型</translation>
    </message>
    <message>
        <source>Activate</source>
        <translation>激活状态</translation>
    </message>
    <message>
        <source>IPv4 Address</source>
        <translation>IPv4 地址</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Soft Vision</source>
        <translation>软件版本</translation>
    </message>
    <message>
        <source>IPv4 GateWay</source>
        <translation>IPv4 网关</translation>
    </message>
    <message>
        <source>HttpPort</source>
        <translation>HTTP 端口</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>IPv4 Mask</source>
        <translation>IPv4 子网掩码</translation>
    </message>
    <message>
        <source>MAC</source>
        <translation>MAC 地址</translation>
    </message>
    <message>
        <source>Channel NO</source>
        <translation>通道数</translation>
    </message>
    <message>
        <source>DSP Vision</source>
        <translation>DSP 版本</translation>
    </message>
    <message>
        <source>Start Time</source>
        <translation>启动时间</translation>
    </message>
    <message>
        <source>IPv6 Address</source>
        <translation>IPv6 地址</translation>
    </message>
    <message>
        <source>IPv6 GateWay</source>
        <translation>IPv6 网关</translation>
    </message>
    <message>
        <source>IPv6 Prefix Length</source>
        <translation>IPv6 前缀长度</translation>
    </message>
    <message>
        <source>Is Support IPv6</source>
        <translation>是否支持 IPv6</translation>
    </message>
    <message>
        <source>Is Support Mod IPv6</source>
        <translation>是否支持修改 IPv6</translation>
    </message>
    <message>
        <source>Is Support DHCP</source>
        <translation>是否支持 DHCP</translation>
    </message>
    <message>
        <source>IPv4 DHCP</source>
        <translation>IPv4 DHCP</translation>
    </message>
    <message>
        <source>Another device announces the same MAC address or serial number. No password is sent to this device until you confirm that it is the one you mean.</source>
        <translation>另一台设备声明了相同的 MAC 地址或序列号。在您确认这就是目标设备之前，不会向其发送任何密码。</translation>
    </message>
    <message>
        <source>VOSK</source>
        <translation>VOSK</translation>
    </message>
    <message>
        <source>ONVIF, signed in</source>
        <translation>ONVIF，已登录</translation>
    </message>
    <message>
        <source>ONVIF, sign-in refused</source>
        <translation>ONVIF，登录被拒绝</translation>
    </message>
    <message>
        <source>ONVIF, signing in</source>
        <translation>ONVIF，正在登录</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>协议</translation>
    </message>
    <message>
        <source>Unknown until sign-in</source>
        <translation>登录后可知</translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceModifyPage</name>
    <message>
        <source>Active</source>
        <translation>激活</translation>
    </message>
    <message>
        <source>Admin Password:</source>
        <translation>管理员密码：</translation>
    </message>
    <message>
        <source>Modify</source>
        <translation>修改</translation>
    </message>
    <message>
        <source>Forget Password</source>
        <translation>忘记密码</translation>
    </message>
    <message>
        <source>The password contains a character that cannot be sent to the device. Please use other characters.</source>
        <translation>密码中含有无法发送给设备的字符，请改用其他字符。</translation>
    </message>
    <message>
        <source>The password is too long: the device takes at most 16 bytes.</source>
        <translation>密码过长：设备最多接受 16 个字节。</translation>
    </message>
    <message>
        <source>The password is too long: ONVIF devices take at most %1 characters.</source>
        <translation>密码过长：ONVIF 设备最多接受 %1 个字符。</translation>
    </message>
    <message>
        <source>Sorry, please select the equipment.</source>
        <translation>抱歉，请选择设备。</translation>
    </message>
    <message>
        <source>Sorry, please enter the administrator password.</source>
        <translation>抱歉，请输入管理员密码。</translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Modify network parameters succeed.</source>
        <translation>修改网络参数成功。</translation>
    </message>
    <message>
        <source>Device deny.</source>
        <translation>设备拒绝。</translation>
    </message>
    <message>
        <source>Device locked, try again in %1 s.</source>
        <translation>设备已锁定，请 %1 秒后重试。</translation>
    </message>
    <message>
        <source>Device not activated.</source>
        <translation>设备未激活。</translation>
    </message>
    <message>
        <source>Error%1:Device not activated.</source>
        <translation>错误%1：设备未激活。</translation>
    </message>
    <message>
        <source>Error%1:Device locked, try again in %2 s.</source>
        <translation>错误%1：设备已锁定，请 %2 秒后重试。</translation>
    </message>
    <message>
        <source>Time out.</source>
        <translation>超时。</translation>
    </message>
    <message>
        <source>Error%1:others</source>
        <translation>错误%1：其他</translation>
    </message>
    <message>
        <source>Error%1:device deny</source>
        <translation>错误%1：设备拒绝</translation>
    </message>
    <message>
        <source>Error%1:time out</source>
        <translation>错误%1：超时</translation>
    </message>
    <message>
        <source>Please select a device.</source>
        <translation>请选择一台设备。</translation>
    </message>
    <message>
        <source>Activate Succeed.</source>
        <translation>激活成功。</translation>
    </message>
    <message>
        <source>Error%1:Device deny.</source>
        <translation>错误%1：设备拒绝。</translation>
    </message>
    <message>
        <source>Error%1:reactive</source>
        <translation>错误%1：设备已激活</translation>
    </message>
    <message>
        <source>Activation</source>
        <translation>激活</translation>
    </message>
    <message>
        <source>Batch activate devices</source>
        <translation>批量激活设备数：</translation>
    </message>
    <message>
        <source>Activate fail numbers</source>
        <translation>激活失败数：</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>Not supported by this device</source>
        <translation>此设备不支持该操作</translation>
    </message>
    <message>
        <source>Change password succeed.</source>
        <translation>修改密码成功。</translation>
    </message>
    <message>
        <source>applied</source>
        <translation>已生效</translation>
    </message>
    <message>
        <source>sent, not seen since (%1 s)</source>
        <translation>已发送，%1 秒内未见设备上报</translation>
    </message>
    <message>
        <source>Error%1:not applied, the device still reports %2</source>
        <translation>错误%1：未生效，设备仍报告 %2</translation>
    </message>
    <message>
        <source>Error%1:the device says &quot;%2&quot;</source>
        <translation>错误%1：设备回复“%2”</translation>
    </message>
    <message>
        <source>Error%1:wrong user name or password</source>
        <translation>错误%1：用户名或密码错误</translation>
    </message>
    <message>
        <source>Wrong user name or password.</source>
        <translation>用户名或密码错误。</translation>
    </message>
    <message>
        <source>Error%1:activate it with its maker&apos;s tool</source>
        <translation>错误%1：请用设备厂商的工具激活</translation>
    </message>
    <message>
        <source>restarted to apply it</source>
        <translation>已重启设备以生效</translation>
    </message>
    <message>
        <source>Nothing was sent: an address would be given twice.</source>
        <translation>未发送任何内容：有地址会被重复分配。</translation>
    </message>
    <message>
        <source>Please wait...</source>
        <translation>请稍候...</translation>
    </message>
    <message>
        <source>The device took the new parameters but has not reported them: %1</source>
        <translation>设备已接受新参数，但尚未上报：%1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Cancelling: waiting for the devices already asked...</source>
        <translation>正在取消：等待已发出请求的设备...</translation>
    </message>
    <message>
        <source>Password recovery is not part of ONVIF: reset this device&apos;s password with its maker&apos;s own means.</source>
        <translation>ONVIF 不包含密码找回：请使用厂商自己的方式重置此设备的密码。</translation>
    </message>
    <message numerus="yes">
        <source>%n checked ONVIF device(s) are not signed in yet. Please sign in to them first.</source>
        <translation>
            <numerusform>已勾选的 %n 台 ONVIF 设备尚未登录。请先登录。</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n checked ONVIF device(s) are not signed in yet: sign in to them first (&quot;Sign in&quot; above the table).</source>
        <translation>
            <numerusform>已勾选的 %n 台 ONVIF 设备尚未登录：请先登录（表格上方的“登录”）。</numerusform>
        </translation>
    </message>
    <message>
        <source>Sign in to this ONVIF device first (&quot;Sign in&quot; above the table) to change its network parameters.</source>
        <translation>请先登录此 ONVIF 设备（表格上方的“登录”），再修改其网络参数。</translation>
    </message>
    <message>
        <source>Change Password</source>
        <translation>修改密码</translation>
    </message>
    <message>
        <source>Old Password:</source>
        <translation>旧密码：</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>The new password is the same as the old one.</source>
        <translation>新密码与旧密码相同。</translation>
    </message>
    <message>
        <source>Password Change</source>
        <translation>修改密码</translation>
    </message>
    <message>
        <source>Error%1:wrong old password</source>
        <translation>错误%1：旧密码错误</translation>
    </message>
    <message>
        <source>The old password is not correct.</source>
        <translation>旧密码不正确。</translation>
    </message>
    <message numerus="yes">
        <source>%1 / %2: waiting for %n device(s) to answer</source>
        <translation>
            <numerusform>%1 / %2：等待 %n 台设备应答</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Waiting for %n device(s) to report their new settings...</source>
        <translation>
            <numerusform>正在等待 %n 台设备上报新参数...</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceModifyResultPage</name>
    <message>
        <source>Devices Number:</source>
        <translation>设备数：</translation>
    </message>
    <message>
        <source>Failed Number:</source>
        <translation>失败数：</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>Device Type</source>
        <translation>设备类型</translation>
    </message>
    <message>
        <source>IPv4 Address</source>
        <translation>IPv4 地址</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Modification</source>
        <translation>修改结果</translation>
    </message>
    <message>
        <source>Confirmation List</source>
        <translation>结果列表</translation>
    </message>
    <message>
        <source>Succeed</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Retry failed</source>
        <translation>重试失败项</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>The list could not be saved: %1</source>
        <translation>列表无法保存：%1</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
</context>
<context>
    <name>VoskTool::DeviceNetParaPage</name>
    <message>
        <source>Modify Network parameters</source>
        <translation>修改网络参数</translation>
    </message>
    <message>
        <source>Inport DevciePara</source>
        <translation>导入设备参数</translation>
    </message>
    <message>
        <source>Enable DHCP</source>
        <translation>启用 DHCP</translation>
    </message>
    <message>
        <source>StartIp:</source>
        <translation>起始 IP：</translation>
    </message>
    <message>
        <source>Please set the start Ip address,then add one</source>
        <translation>请设置起始 IP 地址，之后的设备依次加一</translation>
    </message>
    <message>
        <source>Device Serial:</source>
        <translation>设备序列号：</translation>
    </message>
    <message>
        <source>IP Address:</source>
        <translation>IP 地址：</translation>
    </message>
    <message>
        <source>Port:</source>
        <translation>端口：</translation>
    </message>
    <message>
        <source>Subnet Mask:</source>
        <translation>子网掩码：</translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation>网关：</translation>
    </message>
    <message>
        <source>IPv6 Address:</source>
        <translation>IPv6 地址：</translation>
    </message>
    <message>
        <source>IPv6 Gateway:</source>
        <translation>IPv6 网关：</translation>
    </message>
    <message>
        <source>IPv6 Prefix Length:</source>
        <translation>IPv6 前缀长度：</translation>
    </message>
    <message>
        <source>Http Port:</source>
        <translation>HTTP 端口：</translation>
    </message>
    <message>
        <source>Security Verification</source>
        <translation>安全验证</translation>
    </message>
    <message>
        <source>Batch Modify Network parameters</source>
        <translation>批量修改网络参数</translation>
    </message>
    <message>
        <source>Please input IP Address.</source>
        <translation>请输入 IP 地址。</translation>
    </message>
    <message>
        <source>IP Address not correct.</source>
        <translation>IP 地址不正确。</translation>
    </message>
    <message>
        <source>Subnet mask can not be empty.</source>
        <translation>子网掩码不能为空。</translation>
    </message>
    <message>
        <source>Subnet Mask not correct.</source>
        <translation>子网掩码不正确。</translation>
    </message>
    <message>
        <source>Gateway can not be empty</source>
        <translation>网关不能为空</translation>
    </message>
    <message>
        <source>Gateway not correct.</source>
        <translation>网关不正确。</translation>
    </message>
    <message>
        <source>Device port ranges from 2000 to 65535.</source>
        <translation>设备端口范围为 2000 到 65535。</translation>
    </message>
    <message>
        <source>Http port ranges from 1 to 65535.</source>
        <translation>HTTP 端口范围为 1 到 65535。</translation>
    </message>
    <message>
        <source>IPv6 Address not correct.</source>
        <translation>IPv6 地址不正确。</translation>
    </message>
    <message>
        <source>IPv6 gateway not correct.</source>
        <translation>IPv6 网关不正确。</translation>
    </message>
    <message>
        <source>IPv6 prefix length ranges from 0 to 127.</source>
        <translation>IPv6 前缀长度范围为 0 到 127。</translation>
    </message>
    <message>
        <source>The start address %1 leaves room for %2 devices only, but %3 are selected. Please choose a lower start address.</source>
        <translation>起始地址 %1 只能容纳 %2 台设备，但已选择 %3 台。请选择更小的起始地址。</translation>
    </message>
    <message>
        <source>Check a device in the table first.</source>
        <translation>请先在设备表中勾选设备。</translation>
    </message>
    <message>
        <source>The device reports no HTTP port, so it cannot be changed here.</source>
        <translation>该设备没有报告 HTTP 端口，因此无法在此修改。</translation>
    </message>
    <message>
        <source>This device does not allow its IPv6 parameters to be changed.</source>
        <translation>该设备不允许修改其 IPv6 参数。</translation>
    </message>
    <message>
        <source>This device reports no IPv6 parameters.</source>
        <translation>该设备没有报告 IPv6 参数。</translation>
    </message>
    <message>
        <source>IPv4 is off on this device: it is reached over IPv6 alone. Change its IPv6 parameters below.</source>
        <translation>该设备已关闭 IPv4：只能通过 IPv6 访问。请在下方修改其 IPv6 参数。</translation>
    </message>
    <message>
        <source>This device does not support DHCP.</source>
        <translation>该设备不支持 DHCP。</translation>
    </message>
    <message>
        <source>DHCP is on: the device gets its addresses from the DHCP server.</source>
        <translation>DHCP 已启用：设备从 DHCP 服务器获取地址。</translation>
    </message>
    <message>
        <source>The checked devices are of types with a fixed address, which a batch cannot set.</source>
        <translation>勾选的设备属于固定地址的类型，批量修改无法设置其地址。</translation>
    </message>
    <message>
        <source>None of the checked devices reports a gateway that can be changed.</source>
        <translation>勾选的设备都没有报告可修改的网关。</translation>
    </message>
    <message>
        <source>Without a start address every device keeps its address and gateway.</source>
        <translation>没有起始地址时，每台设备保留自己的地址和网关。</translation>
    </message>
    <message>
        <source>The checked devices use different ports, so each keeps its own.</source>
        <translation>勾选的设备端口各不相同，因此每台设备保留自己的端口。</translation>
    </message>
    <message>
        <source>One of the checked devices reports no HTTP port, so every device keeps its own.</source>
        <translation>勾选的设备中有一台没有报告 HTTP 端口，因此每台设备保留自己的 HTTP 端口。</translation>
    </message>
    <message>
        <source>IPv6 parameters are changed one device at a time.</source>
        <translation>IPv6 参数只能逐台设备修改。</translation>
    </message>
    <message>
        <source>DHCP is on: the devices get their addresses from the DHCP server.</source>
        <translation>DHCP 已启用：设备从 DHCP 服务器获取地址。</translation>
    </message>
    <message>
        <source>ONVIF devices have no device port; their HTTP port is the one to change.</source>
        <translation>ONVIF 设备没有设备端口；可修改的是其 HTTP 端口。</translation>
    </message>
    <message>
        <source>ONVIF devices have no device port, so every device keeps its own.</source>
        <translation>ONVIF 设备没有设备端口，因此每台设备保留各自的端口。</translation>
    </message>
    <message>
        <source>Sign in to this ONVIF device first (&quot;Sign in&quot; above the table): its network settings are read with your user name and password.</source>
        <translation>请先登录此 ONVIF 设备（表格上方的“登录”）：其网络参数需要用您的用户名和密码读取。</translation>
    </message>
    <message>
        <source>Empty: each device keeps its own</source>
        <translation>留空：各设备保留自己的值</translation>
    </message>
</context>
<context>
    <name>VoskTool::DevicesInfoSavePage</name>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>File name:</source>
        <translation>文件名：</translation>
    </message>
    <message>
        <source>File path:</source>
        <translation>文件路径：</translation>
    </message>
    <message>
        <source>Please input file name.</source>
        <translation>请输入文件名。</translation>
    </message>
    <message>
        <source>The file name cannot contain &quot;/&quot; or &quot;\&quot;.</source>
        <translation>文件名不能包含“/”或“\”。</translation>
    </message>
    <message>
        <source>Please input file path.</source>
        <translation>请输入文件路径。</translation>
    </message>
    <message>
        <source>The file name has been used, please change it</source>
        <translation>文件名已被使用，请更换</translation>
    </message>
    <message>
        <source>Saving succeed.</source>
        <translation>保存成功。</translation>
    </message>
    <message>
        <source>Saving failed.</source>
        <translation>保存失败。</translation>
    </message>
</context>
<context>
    <name>VoskTool::ExcelManager</name>
    <message>
        <source>Serial Number</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Device Serial Number</source>
        <translation>设备序列号</translation>
    </message>
</context>
<context>
    <name>VoskTool::IdentityQuestion</name>
    <message>
        <source>Confirm only if the checked devices are the ones you mean: what is sent goes to each of them sealed to its own key, and no other device can read it. Close this message to send nothing.</source>
        <translation>仅当勾选的设备正是您要操作的设备时才确认：发送的内容将使用各设备自己的密钥加密后发给该设备，其他设备无法读取。关闭此消息则不发送任何内容。</translation>
    </message>
    <message>
        <source>Devices with a shared identity</source>
        <translation>身份相同的设备</translation>
    </message>
</context>
<context>
    <name>VoskTool::NewPasswordRows</name>
    <message>
        <source>New Password:</source>
        <translation>新密码：</translation>
    </message>
    <message>
        <source>Confirm Password:</source>
        <translation>确认密码：</translation>
    </message>
    <message>
        <source>Weak</source>
        <translation>弱</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>中</translation>
    </message>
    <message>
        <source>Strong</source>
        <translation>强</translation>
    </message>
    <message>
        <source>The password can not be empty.</source>
        <translation>密码不能为空。</translation>
    </message>
    <message>
        <source>The password you typed do not match.</source>
        <translation>两次输入的密码不一致。</translation>
    </message>
    <message>
        <source>The password contains a character that cannot be sent to the device.</source>
        <translation>密码中含有无法发送给设备的字符。</translation>
    </message>
    <message>
        <source>The password is too long: at most 16 bytes.</source>
        <translation>密码过长：最多16个字节。</translation>
    </message>
    <message>
        <source>The password is too long: at most %1 characters.</source>
        <translation>密码过长：最多%1个字符。</translation>
    </message>
    <message>
        <source>Valid password range [8-16]. You can use a combination of numbers, lowercase, uppercase and special character for your password with at least two kinds of them contained.</source>
        <translation>密码长度范围为[8-16]位，可使用数字、小写字母、大写字母和特殊字符的组合，且至少包含其中两种。</translation>
    </message>
    <message>
        <source>Valid password range [8-16]. You can use a combination of numbers,lowercase, uppercase and special character for your password with at least two kinds of them contained.</source>
        <translation>密码长度范围为 [8-16] 位。密码可由数字、小写字母、大写字母和特殊字符组合而成，且至少包含其中两种。</translation>
    </message>
    <message>
        <source>Valid password range [8-%1]. You can use a combination of numbers, lowercase, uppercase and special characters for your password, with at least two kinds of them contained.</source>
        <translation>密码长度范围为[8-%1]位，可使用数字、小写字母、大写字母和特殊字符的组合，且至少包含其中两种。</translation>
    </message>
    <message>
        <source>Too long: over %1 bytes</source>
        <translation>过长：超过 %1 字节</translation>
    </message>
    <message>
        <source>Too long: over %1 characters</source>
        <translation>过长：超过 %1 个字符</translation>
    </message>
    <message>
        <source>Too short: under %1 characters</source>
        <translation>过短：少于 %1 个字符</translation>
    </message>
    <message>
        <source>Same as the user name</source>
        <translation>与用户名相同</translation>
    </message>
    <message>
        <source>Only one kind of character</source>
        <translation>只含一种字符</translation>
    </message>
</context>
<context>
    <name>VoskTool::OnvifProbeDialog</name>
    <message>
        <source>Find ONVIF devices by address</source>
        <translation>按地址查找 ONVIF 设备</translation>
    </message>
    <message>
        <source>Devices on another subnet do not hear the multicast search. Give their addresses or ranges, separated by commas, e.g. 192.168.2.64, 192.168.2.100-192.168.2.150.</source>
        <translation>其他子网中的设备收不到组播搜索。请输入它们的地址或地址范围，以逗号分隔，例如 192.168.2.64, 192.168.2.100-192.168.2.150。</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Please enter an address or a range.</source>
        <translation>请输入地址或地址范围。</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not an IPv4 address or a range of them (first-last).</source>
        <translation>“%1”不是 IPv4 地址或地址范围（起始-结束）。</translation>
    </message>
    <message>
        <source>The range &quot;%1&quot; ends before it starts.</source>
        <translation>范围“%1”的结束地址小于起始地址。</translation>
    </message>
    <message>
        <source>Too many addresses: one search asks at most %1.</source>
        <translation>地址太多：一次搜索最多 %1 个。</translation>
    </message>
</context>
<context>
    <name>VoskTool::OnvifSignInDialog</name>
    <message>
        <source>Sign in to ONVIF devices</source>
        <translation>登录 ONVIF 设备</translation>
    </message>
    <message>
        <source>For every ONVIF device</source>
        <translation>用于所有 ONVIF 设备</translation>
    </message>
    <message numerus="yes">
        <source>Only for the %n checked ONVIF device(s)</source>
        <translation>
            <numerusform>仅用于已勾选的 %n 台 ONVIF 设备</numerusform>
        </translation>
    </message>
    <message>
        <source>The password is kept in memory only, until the program ends.</source>
        <translation>密码只保存在内存中，直到程序退出。</translation>
    </message>
    <message>
        <source>User name:</source>
        <translation>用户名：</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>密码：</translation>
    </message>
    <message>
        <source>Sign in</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Please enter the user name.</source>
        <translation>请输入用户名。</translation>
    </message>
</context>
<context>
    <name>VoskTool::RecoveryDialogs</name>
    <message>
        <source>请在手机通讯应用中关注厂商客服账号，打开“密码重置”服务，扫描设备二维码。</source>
        <translation>请在手机通讯应用中关注厂商客服账号，打开“密码重置”服务，扫描设备二维码。</translation>
    </message>
    <message>
        <source>如果恢复失败，请重启设备和软件后重新执行步骤1和2。</source>
        <translation>如果恢复失败，请重启设备和软件后重新执行步骤1和2。</translation>
    </message>
</context>
<context>
    <name>VoskTool::ResetPasswordDialog</name>
    <message>
        <source>Reset Password</source>
        <translation>重置密码</translation>
    </message>
    <message>
        <source>QR code</source>
        <translation>二维码</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>请导入由“密码重置”生成的密钥文件，并重置密码（若是字符则手动输入，若是XML文件则文件导入）。</source>
        <translation>请导入由“密码重置”生成的密钥文件，并重置密码（若是字符则手动输入，若是XML文件则文件导入）。</translation>
    </message>
    <message>
        <source>ManualInput</source>
        <translation>手动输入</translation>
    </message>
    <message>
        <source>AutoInput</source>
        <translation>文件导入</translation>
    </message>
    <message>
        <source>Reset IPC</source>
        <translation>重置IPC</translation>
    </message>
    <message>
        <source>Get key error.</source>
        <translation>获取密钥失败。</translation>
    </message>
    <message>
        <source>Create device key file error.</source>
        <translation>创建设备密钥文件失败。</translation>
    </message>
    <message>
        <source>Exported.</source>
        <translation>已导出。</translation>
    </message>
    <message>
        <source>Please input the secret key.</source>
        <translation>请输入密钥。</translation>
    </message>
    <message>
        <source>The answer file cannot be read.</source>
        <translation>无法读取应答文件。</translation>
    </message>
    <message>
        <source>The answer file cannot be copied to %1.</source>
        <translation>无法将应答文件复制到%1。</translation>
    </message>
    <message>
        <source>The secret key is too long: at most 256 bytes.</source>
        <translation>密钥过长：最多256个字节。</translation>
    </message>
    <message>
        <source>The path of the answer file copy is too long: at most 260 bytes.</source>
        <translation>应答文件副本的路径过长：最多260个字节。</translation>
    </message>
    <message>
        <source>Reset password failed.</source>
        <translation>重置密码失败。</translation>
    </message>
    <message>
        <source>Reset password Succeed.</source>
        <translation>重置密码成功。</translation>
    </message>
    <message>
        <source>Generate QR code error.</source>
        <translation>生成二维码失败。</translation>
    </message>
</context>
<context>
    <name>VoskTool::RestorePasswordDialog</name>
    <message>
        <source>Reset Default Password</source>
        <translation>恢复缺省密码</translation>
    </message>
    <message>
        <source>在“安全码”处输入“密码重置”生成的安全码，恢复的缺省密码是57094。</source>
        <translation>在“安全码”处输入“密码重置”生成的安全码，恢复的缺省密码是57094。</translation>
    </message>
    <message>
        <source>Security Code:</source>
        <translation>安全码：</translation>
    </message>
    <message>
        <source>Please input security code.</source>
        <translation>请输入安全码。</translation>
    </message>
    <message>
        <source>Restore password failed.</source>
        <translation>恢复密码失败。</translation>
    </message>
    <message>
        <source>Restore password succeed.</source>
        <translation>恢复密码成功。</translation>
    </message>
</context>
<context>
    <name>VoskTool::TipDialog</name>
    <message>
        <source>sure</source>
        <translation>确定吗？</translation>
    </message>
</context>
<context>
    <name>VoskTool::VOSKToolMainPage</name>
    <message>
        <source>Changed certificate</source>
        <translation>证书已变更</translation>
    </message>
    <message>
        <source>The ONVIF device %1 shows another HTTPS certificate than the one trusted for it, and nothing was sent to it.
Trusted SHA-256: %2
Shown SHA-256: %3
Trust the new certificate? Only if the device was replaced or reset.</source>
        <translation>ONVIF 设备 %1 出示的 HTTPS 证书与为其信任的证书不同，未向其发送任何内容。
已信任的 SHA-256：%2
出示的 SHA-256：%3
是否信任新证书？仅当该设备已被更换或复位时才应信任。</translation>
    </message>
    <message>
        <source>VOSK Tool</source>
        <translation>VOSK 工具</translation>
    </message>
    <message>
        <source>Initialization failed.</source>
        <translation>初始化失败。</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Exit the VOSK software?</source>
        <translation>确定退出 VOSK 软件吗？</translation>
    </message>
</context>
<context>
    <name>VoskTool::WarningDialog</name>
    <message>
        <source>Form</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>apt::ToolsApplication</name>
    <message>
        <source>VOSK is already running.</source>
        <translation>VOSK 工具已在运行。</translation>
    </message>
    <message>
        <source>Display resolution less than 1024*768,are you sure to start the program?</source>
        <translation>显示器分辨率低于 1024×768，确定要启动程序吗？</translation>
    </message>
    <message>
        <source>VOSKTool</source>
        <translation>VOSK 工具</translation>
    </message>
</context>
<context>
    <name>aptui::BaseDialog</name>
    <message>
        <source>null content</source>
        <translation>无内容</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>aptui::CDlgAbout</name>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message>
        <source>Name: </source>
        <translation>名称：</translation>
    </message>
    <message>
        <source>Version: </source>
        <translation>版本：</translation>
    </message>
</context>
<context>
    <name>aptui::FolderMessageDialog</name>
    <message>
        <source>Open Folder</source>
        <translation>打开文件夹</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>No program to open folders is installed.</source>
        <translation>没有安装可以打开文件夹的程序。</translation>
    </message>
    <message>
        <source>The path above is selected: copy it with Ctrl+C.</source>
        <translation>上面的路径已选中，可按 Ctrl+C 复制。</translation>
    </message>
</context>
</TS>
