<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>main</name>
    <message>
        <location filename="../main.qml" line="10"/>
        <source>Client</source>
        <translation>Client</translation>
    </message>
</context>
</TS>
