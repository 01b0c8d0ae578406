<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Profile</name>
    <message>
        <source>M</source>
        <translation>M</translation>
    </message>
    <message>
        <source>!</source>
        <translation>!</translation>
    </message>
    <message>
        <source>&lt;</source>
        <translation>&lt;</translation>
    </message>
    <message>
        <source>&gt;</source>
        <translation>&gt;</translation>
    </message>
    <message>
        <source>↓</source>
        <translation>↓</translation>
    </message>
    <message>
        <source>↑</source>
        <translation>↑</translation>
    </message>
    <message>
        <source>不凝</source>
        <translation>No clot</translation>
    </message>
    <message>
        <source>---.-</source>
        <translation>---.-</translation>
    </message>
    <message>
        <source>无法加载配置文件 %1
%2</source>
        <translation>Cannot load the configuration file %1
%2</translation>
    </message>
    <message>
        <source>错误的配置文件 %1</source>
        <translation>Wrong configuration file %1</translation>
    </message>
    <message>
        <source>无法打开数据库文件 %1</source>
        <translation>Cannot open the database file %1</translation>
    </message>
    <message>
        <source>错误的数据库文件 %1</source>
        <translation>Wrong database file %1</translation>
    </message>
</context>
<context>
    <name>PropertyItemModel</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>值</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>无效的值</source>
        <translation>Invalid value</translation>
    </message>
    <message>
        <source>未知错误</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>结果为空</source>
        <translation>The result is empty</translation>
    </message>
    <message>
        <source>无标准曲线</source>
        <translation>No standard curve</translation>
    </message>
    <message>
        <source>标准曲线无效</source>
        <translation>Invalid standard curve</translation>
    </message>
    <message>
        <source>标准曲线设置错误</source>
        <translation>Standard curve setting error</translation>
    </message>
    <message>
        <source>无效的计算方法</source>
        <translation>Invalid calculation method</translation>
    </message>
    <message>
        <source>计算所需的参数不存在</source>
        <translation>Missing calculation parameter</translation>
    </message>
</context>
<context>
    <name>Serial</name>
    <message>
        <source>Invalid serial port name "%1"</source>
        <translation>Invalid serial port name "%1"</translation>
    </message>
    <message>
        <source>Serial port %1 is in use by another program</source>
        <translation>Serial port %1 is in use by another program</translation>
    </message>
    <message>
        <source>%1 is not a serial port</source>
        <translation>%1 is not a serial port</translation>
    </message>
    <message>
        <source>Baud rate %1 is not supported</source>
        <translation>Baud rate %1 is not supported</translation>
    </message>
    <message>
        <source>%1 data bits are not supported</source>
        <translation>%1 data bits are not supported</translation>
    </message>
    <message>
        <source>Parity setting %1 is not supported</source>
        <translation>Parity setting %1 is not supported</translation>
    </message>
    <message>
        <source>1.5 stop bits are not supported on this system</source>
        <translation>1.5 stop bits are not supported on this system</translation>
    </message>
    <message>
        <source>Stop bits setting %1 is not supported</source>
        <translation>Stop bits setting %1 is not supported</translation>
    </message>
</context>
</TS>
