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
    <name>VoskTool::WarningDialog</name>
    <message>
        <source>Form</source>
        <translation>提示</translation>
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
